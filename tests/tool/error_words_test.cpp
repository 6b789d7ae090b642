// A failure below the command line is a code with values: the command words it in
// English with its own options, the page in Japanese (and English) from its text table.
// One example of every code, worded as a command with every setting option (render,
// measure) and as detect, which has only the placement's.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool/analysis/tool_error.h"
#include "tool/commands/error_words.h"
#include "tool_runner.h"

namespace {

struct Wording {
    ToolError error;
    const char* all;     // as render and measure word it
    const char* detect;  // as detect words it
};

const std::vector<Wording>& wordings()
{
    using E = ErrorCode;
    static const std::vector<Wording> w = {
        {ToolError("in.wav: cannot open: permission denied"), "in.wav: cannot open: permission denied",
         "in.wav: cannot open: permission denied"},
        {ToolError(E::kSliderOutsideRange,
                   {{"slider", "fft_order"}, {"value", 8.0}, {"minimum", 9.0}, {"maximum", 14.0}}),
         "--fft-order 8 is outside the slider's range 9 to 14",
         "the plug-in's default FFT order 8 is outside the slider's range 9 to 14"},
        {ToolError(E::kRateNotServed, {{"rate", 1e9}, {"channels", 2.0}, {"seconds", 2.0}, {"highest", 715827882.0}}),
         "a sampling rate of 1000000000 Hz is more than the plug-in can serve with 2 channels and --seconds 2 (at "
         "most 715827882 Hz)",
         "a sampling rate of 1000000000 Hz is more than the plug-in can serve with 2 channels and its default stretch "
         "of 2 s (at most 715827882 Hz)"},
        {ToolError(E::kNoNotchInside, {{"rate", 1.0}, {"fft_order", 11.0}}),
         "no frequency value puts the notch inside the spectrum at 1 Hz with --fft-order 11, so --hz cannot be "
         "served at this sampling rate",
         "no frequency value puts the notch inside the spectrum at 1 Hz with FFT order 11, so --hz cannot be served "
         "at this sampling rate"},
        {ToolError(E::kHzOutsideHalfRate, {{"hz", 30000.0}, {"half_rate", 24000.0}}),
         "--hz 30000 is not between 0 and half the sampling rate (24000 Hz)",
         "--hz 30000 is not between 0 and half the sampling rate (24000 Hz)"},
        {ToolError(E::kHzOutsideReach,
                   {{"hz", 20000.0}, {"rate", 48000.0}, {"fft_order", 11.0}, {"low", 11.71875}, {"high", 19171.875}}),
         "--hz 20000 is outside the notch centres the plug-in reaches at 48000 Hz with --fft-order 11 (11.7 to "
         "19171.9 Hz)",
         "--hz 20000 is outside the notch centres the plug-in reaches at 48000 Hz with FFT order 11 (11.7 to "
         "19171.9 Hz)"},
        {ToolError(E::kHzOutsideReach, {{"hz", 23999.0}, {"rate", 48000.0}, {"low", 1.46}, {"high", 23997.07}}),
         "--hz 23999 is outside the notch centres the plug-in reaches at 48000 Hz at any FFT order (1.5 to 23997.1 "
         "Hz)",
         "--hz 23999 is outside the notch centres the plug-in reaches at 48000 Hz at any FFT order (1.5 to 23997.1 "
         "Hz)"},
        {ToolError(E::kNotchPastTop, {{"frequency", 1700.0}, {"rate", 48000.0}, {"fft_order", 14.0}}),
         "--frequency 1700 puts the notch past the top of the spectrum at 48000 Hz with --fft-order 14; lower the "
         "frequency or the FFT order",
         "the plug-in's default frequency value 1700 puts the notch past the top of the spectrum at 48000 Hz with "
         "its default FFT order 14, the settings detect starts from"},
        {ToolError(E::kNotVideoRate, {{"text", "59.94x"}}), "--fps '59.94x' is not a video rate like 30 or 30000/1001",
         "--fps '59.94x' is not a video rate like 30 or 30000/1001"},
        {ToolError(E::kNotTime, {{"text", "0x10s"}}), "'0x10s' is not a time like 1.25s or 1250ms",
         "'0x10s' is not a time like 1.25s or 1250ms"},
        {ToolError(E::kNotNumber, {{"option", "--min-attenuation"}, {"text", "abc"}}),
         "--min-attenuation: must be a finite number, not 'abc'",
         "--min-attenuation: must be a finite number, not 'abc'"},
        {ToolError(E::kNumberOutside,
                   {{"option", "--min-attenuation"}, {"text", "1e308"}, {"low", -1000.0}, {"high", 1000.0}}),
         "--min-attenuation 1e308 is outside -1000 to 1000", "--min-attenuation 1e308 is outside -1000 to 1000"},
        {ToolError(E::kNotWholeNumber, {{"option", "--start-frame"}, {"text", "0x1"}}),
         "--start-frame '0x1' is not a whole number in decimal digits",
         "--start-frame '0x1' is not a whole number in decimal digits"},
        {ToolError(E::kWholeOutside, {{"option", "--width"}, {"text", "300"}, {"low", 0.0}, {"high", 256.0}}),
         "--width 300 is outside 0 to 256", "--width 300 is outside 0 to 256"},
        {ToolError(E::kStartPastLastFrame, {{"start", "1e300s"}}),
         "--start 1e300s lies past the last video frame the host can select",
         "--start 1e300s lies past the last video frame the host can select"},
        {ToolError(E::kNotFrameNumber, {{"frame", -1.0}}), "the stretch's first video frame -1 is not a frame number",
         "the stretch's first video frame -1 is not a frame number"},
        {ToolError(E::kStretchPastEnd,
                   {{"frame", 75.0}, {"seconds", 2.5}, {"file_frames", 60.0}, {"file_seconds", 2.0}}),
         "the stretch starts at video frame 75 (2.500 s), past the end of the file (60 video frames, 2.000 s)",
         "the stretch starts at video frame 75 (2.500 s), past the end of the file (60 video frames, 2.000 s)"},
        {ToolError(E::kRegionTooShort, {{"seconds", 0.5}, {"needed", 1.2}}),
         "the region holds only 0.500 s of audio, too little to tell a steady tone; detect needs 1.200 s",
         "the region holds only 0.500 s of audio, too little to tell a steady tone; detect needs 1.200 s"},
        {ToolError(E::kMiddleTooShort, {{"samples", 1.0}}),
         "the stretch between the fade-in and the tail is too short to measure (1 sample); lower --fade",
         "the stretch between the fade-in and the tail is too short to measure (1 sample)"},
        {ToolError(E::kFilesDiffer, {}),
         "the two files differ in rate, channels or length, so one is not the other processed",
         "the two files differ in rate, channels or length, so one is not the other processed"},
        {ToolError(E::kNoOrderForTone, {{"hz", 23999.0}}),
         "no FFT order places the notch on the tone at 23999.000000 Hz",
         "no FFT order places the notch on the tone at 23999.000000 Hz"},
        {ToolError(E::kFitReadLate, {}), "the audio read for the fit starts after the stretch it needs",
         "the audio read for the fit starts after the stretch it needs"},
        {ToolError(E::kCheckReadShort, {}), "the audio read for the check does not hold the stretch the plug-in reads",
         "the audio read for the check does not hold the stretch the plug-in reads"},
        {ToolError(E::kGuideBeepMissing, {}), "the guide's example beep was not found; the analysis is broken",
         "the guide's example beep was not found; the analysis is broken"},
        {ToolError(E::kModuleNotBeside, {{"where", "/opt/tulm.so"}}),
         "the plug-in module tulm.so is not beside this program (looked for /opt/tulm.so); build it there or name "
         "it with --plugin",
         "the plug-in module tulm.so is not beside this program (looked for /opt/tulm.so); build it there or name "
         "it with --plugin"},
        {ToolError(E::kModuleMissing, {{"name", "absent.so"}, {"where", "/w/absent.so"}}),
         "the plug-in module absent.so is not there (looked for /w/absent.so)",
         "the plug-in module absent.so is not there (looked for /w/absent.so)"},
        {ToolError(E::kModuleSliders, {{"path", "old.so"}, {"sliders", 3.0}, {"needed", 5.0}}),
         "old.so: the module's filter has 3 sliders, not the 5 this tool sets",
         "old.so: the module's filter has 3 sliders, not the 5 this tool sets"},
        {ToolError(E::kFrameTooLong, {{"fps", "1/1000"},
                                      {"frame_samples", 48000000.0},
                                      {"rate", 48000.0},
                                      {"longest", 2000000.0},
                                      {"channels", 2.0},
                                      {"seconds", 3.0},
                                      {"lowest_fps", 0.024}}),
         "at --fps 1/1000 one video frame holds 48000000 samples at 48000 Hz, but the plug-in places a stretch only "
         "where a frame holds at most 2000000 (2 channels, --seconds 3); give a video rate of at least 0.024 frames "
         "per second",
         "at --fps 1/1000 one video frame holds 48000000 samples at 48000 Hz, but the plug-in places a stretch only "
         "where a frame holds at most 2000000 (2 channels, the plug-in's default stretch of seconds 3); give a video "
         "rate of at least 0.024 frames per second"},
        {ToolError(E::kStretchOverBuffer, {{"seconds", 3.0}, {"rate", 1e9}, {"channels", 8.0}}),
         "--seconds 3 at 1000000000 Hz with 8 channels makes a stretch the plug-in's buffer cannot hold, so it would "
         "pass the audio untouched",
         "the plug-in's default stretch of seconds 3 at 1000000000 Hz with 8 channels makes a stretch the plug-in's "
         "buffer cannot hold, so it would pass the audio untouched"},
        {ToolError(E::kTooLittleToDraw, {}), "the file holds too little audio to draw",
         "the file holds too little audio to draw"},
    };
    return w;
}

// "not_video_rate" -> "errorNotVideoRate", the page's key for the code.
std::string page_key(ErrorCode code)
{
    std::string key = "error";
    bool upper = true;
    for (const char* c = error_code_name(code); *c; ++c) {
        if (*c == '_') {
            upper = true;
            continue;
        }
        key += upper ? char(std::toupper(static_cast<unsigned char>(*c))) : *c;
        upper = false;
    }
    return key;
}

// The text of `key` in the language block `lang` of the page's table (texts.js), or "".
std::string page_text(const std::string& lang, const std::string& key)
{
    std::ifstream in(std::string(TULM_SOURCE_DIR) + "/web/page/texts.js");
    std::stringstream all;
    all << in.rdbuf();
    const std::string s = all.str();
    const size_t block = s.find("\n    " + lang + ": {");
    if (block == std::string::npos) return "";
    const size_t block_end = s.find("\n    },", block);
    const size_t at = s.find("\n        " + key + ": '", block);
    if (at == std::string::npos || at > block_end) return "";
    const size_t from = s.find('\'', at) + 1;
    size_t to = from;
    while (to < s.size() && !(s[to] == '\'' && s[to - 1] != '\\')) ++to;
    return s.substr(from, to - from);
}

std::set<std::string> placeholders(const std::string& text)
{
    std::set<std::string> names;
    for (size_t at = text.find('{'); at != std::string::npos; at = text.find('{', at + 1))
        names.insert(text.substr(at + 1, text.find('}', at) - at - 1));
    return names;
}

}  // namespace

TEST(ErrorWords, EachCodeInTheCommandsWords)
{
    std::set<ErrorCode> seen;
    for (const Wording& w : wordings()) {
        seen.insert(w.error.code);
        EXPECT_EQ(error_sentence(w.error, kAllSettings), w.all) << error_code_name(w.error.code);
        EXPECT_EQ(error_sentence(w.error, kPlacementOnly), w.detect) << error_code_name(w.error.code);
    }
    EXPECT_EQ(seen.size(), size_t(kErrorCodeCount)) << "a code without an example here";
}

// detect has no slider options: a failure met with the plug-in's defaults names none.
// (A value that did not parse names the option it was given for, which is detect's own.)
TEST(ErrorWords, DetectNamesOnlyItsOwnOptions)
{
    for (const Wording& w : wordings()) {
        if (w.error.has("option")) continue;
        const std::string s = error_sentence(w.error, kPlacementOnly);
        for (const char* option : {"--frequency", "--seconds", "--fft-order", "--width", "--fade", "--window"})
            EXPECT_EQ(s.find(option), std::string::npos) << s;
    }
}

// Every code the page can meet has its sentence in both languages of the page's table,
// filled only from the values the code carries.
TEST(ErrorWords, ThePageHasEachCodeInJapaneseAndEnglish)
{
    for (const Wording& w : wordings()) {
        std::set<std::string> values;
        for (const ErrorValue& v : w.error.values) values.insert(v.name);
        for (const char* lang : {"ja", "en"}) {
            const std::string text = page_text(lang, page_key(w.error.code));
            ASSERT_FALSE(text.empty()) << lang << " " << page_key(w.error.code);
            for (const std::string& name : placeholders(text))
                EXPECT_TRUE(values.count(name)) << lang << " " << page_key(w.error.code) << " fills {" << name << "}";
        }
    }
    const std::string fps = page_text("ja", "errorNotVideoRate");
    EXPECT_NE(fps.find("{text}"), std::string::npos) << fps;
    EXPECT_NE(fps.find("フレームレート"), std::string::npos) << fps;
}

// At 1 kHz the plug-in's default frequency value lies past the top of the spectrum:
// detect, which has no slider options, says so without naming any.
TEST(ErrorWords, DetectWhereTheDefaultsCannotServe)
{
    TempFolder dir;
    write_audio(dir / "low.wav", sine_audio(1000, 1, 3.0, 100, 0.3, 0.0));
    const ToolRun run = run_tool({"detect", "low.wav"}, dir.path());
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("tulm: error: the plug-in's default frequency value", 0), 0u) << run.err;
    for (const char* option : {"--frequency", "--seconds", "--fft-order", "--width", "--fade"})
        EXPECT_EQ(run.err.find(option), std::string::npos) << run.err;
}

// A file name that starts with "-" and a character other than a letter is a name, not an
// option; the formats named for a file that is no audio include every common one the
// audio library reads (Debian's reads MP3).
TEST(ErrorWords, OddFileNamesAndTheReadableFormats)
{
    TempFolder dir;
    write_audio(dir / "in.wav", sine_audio(48000, 1, 2.0, 1000, 0.3, 0.0));
    const ToolRun dash = run_tool({"render", "in.wav", "-.flac", "-q"}, dir.path());
    EXPECT_EQ(dash.status, 0) << dash.err;
    EXPECT_TRUE(file_exists(dir / "-.flac"));
    std::ofstream(dir / "notes.wav") << "not audio\n";
    const ToolRun notes = run_tool({"detect", "notes.wav"}, dir.path());
    EXPECT_EQ(notes.status, 1);
    EXPECT_NE(notes.err.find("(WAV, FLAC, AIFF, AU, CAF, W64, RF64, Ogg and MP3 are)"), std::string::npos) << notes.err;
}
