// What the tool suggests and says: names for each pass's result that never name another
// pass's, that a shell takes as files and that a folder can hold; file names that are
// not UTF-8 shown so that JSON and SVG stay text; and the reason given for a second pass.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <climits>
#include <string>
#include <vector>

#include "tool/report/report.h"
#include "tool/report/utf8_text.h"
#include "tool_runner.h"

namespace {

TEST(Suggestion, NamesForEachPass)
{
    const std::string long_stem(246, 'a');    // with ".wav", 250 bytes
    const std::string kana = "\xe3\x81\x82";  // one character, three bytes
    std::string wide_stem;
    while (wide_stem.size() < 249) wide_stem += kana;  // 249 bytes, 83 characters
    const struct {
        std::string in, notched, word;
    } cases[] = {
        {"clip.wav", "clip-notch.wav", "clip.wav"},
        {"clip-notch.wav", "clip-notch-2.wav", "clip-notch.wav"},
        {"clip-notch-2.wav", "clip-notch-3.wav", "clip-notch-2.wav"},
        {"dir/clip-notch-9.flac", "dir/clip-notch-10.flac", "dir/clip-notch-9.flac"},
        {"clip-notch-07.wav", "clip-notch-07-notch.wav", "clip-notch-07.wav"},
        {"a-notch/clip", "a-notch/clip-notch.wav", "a-notch/clip"},
        {"-dash.wav", "-dash-notch.wav", "./-dash.wav"},
        {"-", "notch.wav", "-"},
        {long_stem + ".wav", long_stem.substr(0, 245) + "-notch.wav", long_stem + ".wav"},
        {"d/" + long_stem + ".wav", "d/" + long_stem.substr(0, 245) + "-notch.wav", "d/" + long_stem + ".wav"},
        {wide_stem + ".wav", wide_stem.substr(0, 243) + "-notch.wav", "'" + wide_stem + ".wav'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(notched_name(c.in), c.notched) << c.in;
        EXPECT_EQ(path_word(c.in), c.word) << c.in;
        const std::string out = notched_name(c.in);
        EXPECT_LE(out.size() - (out.find_last_of('/') == std::string::npos ? 0 : out.find_last_of('/') + 1),
                  size_t(NAME_MAX))
            << c.in;
    }
}

TEST(Suggestion, BytesThatAreNotUtf8AreShownEscaped)
{
    const struct {
        std::string bytes, shown;
    } cases[] = {
        {"plain.wav", "plain.wav"},
        {"\xe6\x97\xa5\xe6\x9c\xac.wav", "\xe6\x97\xa5\xe6\x9c\xac.wav"},  // Japanese in UTF-8 stays
        {"\xf0\x9f\x8e\xb5", "\xf0\x9f\x8e\xb5"},                          // four bytes, U+1F3B5
        {"\x83"
         "e\x83X\x83g.wav",
         "\\x83e\\x83X\\x83g.wav"},                    // Shift-JIS
        {"\xc0\x80", "\\xc0\\x80"},                    // overlong
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"},           // a surrogate
        {"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"},  // past U+10FFFF
        {"a\xe3\x81", "a\\xe3\\x81"},                  // cut short
        {"\xe3\x81z", "\\xe3\\x81z"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8_or_escaped(c.bytes), c.shown) << c.shown;
}

// The sentences detect and measure say about a tone: why a second pass is needed, the
// next pass for a hum's harmonic on the first pass's result, that the notch suggested
// for a low harmonic is wide enough to take its neighbours along (as measure says of
// it), and a file name from another code page shown escaped in JSON and in the plot.
struct Message {
    const char* name;
    const char* file;    // the input's name
    double hz, seconds;  // a tone from 1 s on, of `harmonics` partials
    int32_t harmonics;
    std::vector<std::string> args;
    const char* said;  // in stdout, or in the file named by `in_file`
    const char* never_said;
    const char* in_file;  // empty: stdout
};

Audio tone_file(const Message& c)
{
    Audio a = sine_audio(48000, 1, c.seconds + 3, 1000, 0.0, 0.001);
    for (int32_t h = 1; h <= c.harmonics; ++h) {
        const Audio tone = sine_audio(48000, 1, c.seconds + 3, h * c.hz, 0.1 / h, 0.0);
        for (int64_t t = 48000; t < int64_t((1 + c.seconds) * 48000); ++t)
            a.samples[size_t(t)] = int16_t(a.samples[size_t(t)] + tone.samples[size_t(t)]);
    }
    return a;
}

TEST(Suggestion, WhatIsSaid)
{
    const std::string sjis = "\x83"
                             "e\x83X\x83g.wav";
    const Message cases[] = {
        {"just_under_a_stretch",
         "in.wav",
         1000,
         2.9,
         1,
         {"detect", "in.wav"},
         "its tail's cross-fade back to the source begins at",
         "longer than one stretch",
         ""},
        {"hum", "in.wav", 120, 2, 3, {"detect", "in.wav"}, "next, tulm detect in-notch.wav --hz 240", "", ""},
        {"hum_harmonic_wide_band",
         "in.wav",
         50,
         2,
         5,
         {"detect", "in.wav", "--hz", "150"},
         "  warning: the notch band (",
         "",
         ""},
        {"hum_second_pass",
         "in-notch.wav",
         120,
         2,
         3,
         {"detect", "in-notch.wav"},
         "tulm render in-notch.wav in-notch-2.wav ",
         "",
         ""},
        {"shift_jis_json",
         sjis.c_str(),
         1000,
         2,
         1,
         {"detect", sjis, "--json"},
         "\"path\": \"\\\\x83e\\\\x83X\\\\x83g.wav\"",
         "",
         ""},
        {"shift_jis_plot",
         sjis.c_str(),
         1000,
         2,
         1,
         {"measure", sjis, sjis, "--hz", "1000", "--plot", "plot.svg"},
         "\\x83e\\x83X\\x83g.wav",
         "\x83",
         "plot.svg"},
    };
    for (const Message& c : cases) {
        TempFolder dir;
        write_audio(dir / c.file, tone_file(c));
        std::vector<std::string> args = c.args;
        if (args[0] == "detect") args.push_back("-q");
        const ToolRun run = run_tool(args, dir.path());
        ASSERT_EQ(run.status, 0) << c.name << "\n" << run.err;
        const std::string text = *c.in_file ? read_text(dir / c.in_file) : run.out;
        EXPECT_NE(text.find(c.said), std::string::npos) << c.name << ": " << c.said << "\n" << text;
        if (*c.never_said) {
            EXPECT_EQ(text.find(c.never_said), std::string::npos) << c.name << "\n" << text;
        }
        if (std::string(c.name) == "shift_jis_json") {
            EXPECT_EQ(nlohmann::json::parse(run.out).at("file").at("path").get<std::string>(),
                      "\\x83e\\x83X\\x83g.wav");
        }
    }
}

}  // namespace
