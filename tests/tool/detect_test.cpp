// Steady tones found in real speech: the spoken channel names that alsa-utils ships,
// with tones and hums mixed in. Speech pitch glides and its harmonics come and go, so
// none of it may pass as a tone, while a tone 35 dB under the speech must, even where
// speech harmonics pass over its bin (lifting its level and pulling its peak) or break
// its run in two, and at 120 Hz, within the speaking voice's own pitch range. A 4.3 kHz
// beep at -60 dBFS from 1.3 s stands over the speech in its critical band in 17 of its
// 20 tenths of a second, yet the words around 2.6 s rival it there and move its peak;
// a beep switched on 0.05 s in starts there, not at the clip's start.
#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tool/analysis/detect.h"
#include "tool/analysis/detect_stream.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/sample_source.h"
#include "tool/analysis/tool_error.h"
#include "tool/report/explain.h"
#include "tool/report/report.h"
#include "tool/session/fit.h"
#include "tool/session/plugin_session.h"
#include "test_programmes.h"
#include "tool_runner.h"

namespace {

const char* const kWords[] = {"Front_Center", "Front_Left", "Rear_Right", "Side_Left"};

// The four words in a row, a short pause after each (about 6 s at 48 kHz, mono); an
// empty clip when alsa-utils is not installed.
Audio speech()
{
    Audio clip;
    for (const char* word : kWords) {
        const std::string path = std::string("/usr/share/sounds/alsa/") + word + ".wav";
        if (!file_exists(path)) return Audio();
        const Audio w = read_audio(path);
        clip.rate = w.rate;
        clip.channels = w.channels;
        clip.samples.insert(clip.samples.end(), w.samples.begin(), w.samples.end());
        clip.samples.insert(clip.samples.end(), size_t(0.15 * w.rate) * w.channels, 0);
    }
    return clip;
}

#define SPEECH_OR_SKIP(name)                                                                                    \
    const Audio name = speech();                                                                                \
    if (name.samples.empty()) GTEST_SKIP() << "alsa-utils is not installed (no /usr/share/sounds/alsa): "      \
                                              "these tests need its spoken recordings"

// Adds `partials` harmonics of `hz` (each half the one before, harmonic h starting at
// phase h * `phase`) at `dbfs` from `from` to `to` seconds, switched with 5 ms
// raised-cosine edges.
Audio with_tone(Audio a, double hz, int32_t partials, double dbfs, double from, double to, double phase = 0)
{
    const int64_t first = int64_t(from * a.rate), end = std::min<int64_t>(int64_t(to * a.rate), a.frames());
    const double edge = 0.005 * a.rate, amplitude = 32767 * std::pow(10.0, dbfs / 20);
    for (int64_t t = first; t < end; ++t) {
        const auto ramp = [edge](double from_edge) { return 0.5 - 0.5 * std::cos(M_PI * std::min(from_edge, edge) / edge); };
        const double gate = (first > 0 ? ramp(double(t - first)) : 1.0) * (end < a.frames() ? ramp(double(end - t)) : 1.0);
        double v = 0;
        for (int32_t h = 1; h <= partials; ++h)
            v += std::pow(0.5, h - 1) * std::sin(2 * M_PI * h * hz * t / a.rate + h * phase);
        for (int32_t k = 0; k < a.channels; ++k) {
            int16_t& x = a.samples[size_t(t * a.channels + k)];
            x = int16_t(std::clamp<double>(std::lrint(x + amplitude * gate * v), -32768, 32767));
        }
    }
    return a;
}

struct SpeechTone {
    double hz, dbfs, from, to;  // to past the clip's end: to its end
};
void PrintTo(const SpeechTone& c, std::ostream* os)
{
    *os << c.hz << " Hz at " << c.dbfs << " dBFS from " << c.from << " s to " << c.to << " s";
}

} // namespace

class ToneUnderSpeech : public ::testing::TestWithParam<SpeechTone> {};
TEST_P(ToneUnderSpeech, FoundWithItsExtentAndNothingElse)
{
    SPEECH_OR_SKIP(clip);
    const SpeechTone c = GetParam();
    const Audio a = with_tone(clip, c.hz, 1, c.dbfs, c.from, c.to);
    const Detection d = detect_tones(a, 0, a.frames());
    std::string found;
    for (const Tone& u : d.tones)
        found += " " + std::to_string(u.hz) + " Hz from " + std::to_string(double(u.first) / a.rate) + " s to " +
                 std::to_string(double(u.end) / a.rate) + " s;";
    ASSERT_EQ(d.tones.size(), 1u) << "speech must not pass as a tone; found" << found;
    const Tone& t = d.tones[0];
    EXPECT_NEAR(t.hz, c.hz, d.resolution_hz);
    EXPECT_NEAR(t.level_dbfs, c.dbfs, 1.5);
    const double two_frames = 2.0 * a.rate / 30;
    EXPECT_NEAR(double(t.first), c.from * a.rate, two_frames) << "starts at " << double(t.first) / a.rate << " s";
    EXPECT_NEAR(double(t.end), std::min(c.to * a.rate, double(a.frames())), two_frames)
        << "ends at " << double(t.end) / a.rate << " s";
    EXPECT_EQ(t.from_region_start, c.from == 0);
}
INSTANTIATE_TEST_SUITE_P(Tones, ToneUnderSpeech,
                         ::testing::Values(SpeechTone{1000, -35, 1.2, 4.0}, SpeechTone{440, -30, 0.5, 2.6},
                                           SpeechTone{6300, -40, 2.0, 99}, SpeechTone{3150, -25, 0, 99},
                                           SpeechTone{1000, -50, 1.2, 4.0}, SpeechTone{440, -45, 0.5, 2.6},
                                           SpeechTone{700, -50, 1.2, 4.0}, SpeechTone{120, -50, 0.5, 2.6},
                                           SpeechTone{4300, -60, 1.3, 3.3}, SpeechTone{1000, -35, 0.05, 2.0},
                                           SpeechTone{4300, -40, 0.05, 2.0}));

// Whether the beep under speech is found does not hang on how much of the speech around
// it the region holds: the same beep in a region of 3 s, of 10 s and of a minute (read
// in chunks, as the tool reads it), the words repeated to fill it. Here the words
// before it fall silent otherwise than in the clip alone, and at 0.6 s and 1.1 s into
// the beep louder sound at its own frequency cancels it for a tenth of a second:
// whatever pieces that leaves, every region lists the same, each within the beep.
TEST(ToneUnderSpeech, FoundWhateverTheRegionsLength)
{
    SPEECH_OR_SKIP(words);
    Audio clip = words;
    clip.samples.clear();
    for (int k = 0; k < 11; ++k) clip.samples.insert(clip.samples.end(), words.samples.begin(), words.samples.end());
    const double beep = 5 * double(words.frames()) / words.rate + 1.3, two_frames = 2.0 / 30;
    const Audio a = with_tone(clip, 4300, 1, -60, beep, beep + 1.9);
    std::vector<Tone> first_listed;
    for (const double seconds : {3.0, 10.0, 60.0}) {
        SCOPED_TRACE(testing::Message() << "a region of " << seconds << " s");
        const double from = std::max(0.0, beep + 1.9 / 2 - seconds / 2);
        const Detection d = detect_tones_in(source_of(a), int64_t(from * a.rate), int64_t(seconds * a.rate),
                                            chunk_plan(a.rate, a.channels));
        std::vector<Tone> listed;
        for (const Tone& t : d.tones)
            if (std::fabs(t.hz - 4300) <= d.resolution_hz) listed.push_back(t);
        std::sort(listed.begin(), listed.end(), [](const Tone& x, const Tone& y) { return x.first < y.first; });
        ASSERT_FALSE(listed.empty());
        if (first_listed.empty()) first_listed = listed;
        ASSERT_EQ(listed.size(), first_listed.size());
        for (size_t i = 0; i < listed.size(); ++i) {
            EXPECT_NEAR(double(listed[i].first - first_listed[i].first) / a.rate, 0, two_frames);
            EXPECT_NEAR(double(listed[i].end - first_listed[i].end) / a.rate, 0, two_frames);
            EXPECT_GE(double(listed[i].first) / a.rate, beep - two_frames);
            EXPECT_LE(double(listed[i].end) / a.rate, beep + 1.9 + two_frames);
        }
    }
}

// The piece of music shipped in /usr/share/sounds, or the spoken words for nullptr, read
// into `program`; what is not installed, where it is not.
std::string program_of(const char* piece, Audio* program)
{
    if (piece) {
        const std::string path = std::string("/usr/share/sounds/") + piece;
        if (!file_exists(path)) return "not installed: " + path + " (oxygen-sounds, gnome-audio)";
        *program = read_audio(path);
        return "";
    }
    *program = speech();
    return program->samples.empty() ? "alsa-utils is not installed: these tests need its spoken recordings" : "";
}

// A hum is one tone with harmonics, not four tones, and its fundamental leads, named
// where it starts and stops, with each harmonic it lists at the level the hum gives it
// (each partial half the one before). Over speech at -30 dBFS every partial stands
// clear; at -50 dBFS the speech covers the fundamental and most harmonics by turns,
// and only the family's frequency, which the clear harmonics give, tells it apart,
// while no harmonic alone passes as a tone. In Log-In-Short a partial of the music
// 8 Hz above the fundamental pulls its peak before the music's louder note hides it
// for half a second, and partials a bin from each harmonic lift those harmonics' bins.
struct Hum {
    const char* piece;  // nullptr: the spoken words
    double hz;
    int32_t partials;
    double dbfs, from, to;  // to past the clip's end: to its end
    size_t listed;          // harmonics that stand clear enough to be listed
    double phase;           // of each partial against the one below: where speech
                            // covers which partial depends on it
};
void PrintTo(const Hum& c, std::ostream* os)
{
    *os << (c.piece ? c.piece : "speech") << " + " << c.hz << " Hz hum at " << c.dbfs << " dBFS from " << c.from
        << " s";
}

class HumFamily : public ::testing::TestWithParam<Hum> {};
TEST_P(HumFamily, OneFamilyLedByTheFundamental)
{
    const Hum c = GetParam();
    Audio program;
    if (const std::string missing = program_of(c.piece, &program); !missing.empty()) GTEST_SKIP() << missing;
    const Audio a = with_tone(program, c.hz, c.partials, c.dbfs, c.from, c.to, c.phase);
    const int64_t count = std::min<int64_t>(a.frames(), 6 * a.rate);
    const Detection d = detect_tones(a, 0, count);
    std::string found;
    for (const Tone& u : d.tones) found += " " + std::to_string(u.hz) + " Hz;";
    ASSERT_EQ(d.tones.size(), 1u) << "found" << found;
    const Tone& t = d.tones[0];
    EXPECT_NEAR(t.hz, c.hz, d.resolution_hz);
    EXPECT_NEAR(t.level_dbfs, c.dbfs, 1.5);
    // The drift sets the notch's width: a hum holds its frequency as a whine does.
    EXPECT_LE(t.drift_hz, 0.2 * d.resolution_hz);
    const double two_frames = 2.0 * a.rate / 30;
    EXPECT_NEAR(double(t.first), c.from * a.rate, two_frames) << "starts at " << double(t.first) / a.rate << " s";
    EXPECT_NEAR(double(t.end), std::min(c.to * a.rate, double(count)), two_frames)
        << "ends at " << double(t.end) / a.rate << " s";
    EXPECT_GE(t.harmonics.size(), c.listed);
    for (const Harmonic& h : t.harmonics) {
        EXPECT_LE(h.order, c.partials) << h.hz << " Hz is no partial of the hum";
        EXPECT_NEAR(h.relative_db, 20 * std::log10(std::pow(0.5, h.order - 1)), 1.5) << h.order;
    }
}
INSTANTIATE_TEST_SUITE_P(Hums, HumFamily,
                         ::testing::Values(Hum{nullptr, 50, 4, -30, 0, 99, 3, 0}, Hum{nullptr, 60, 5, -50, 2.5, 99, 1, 0},
                                           Hum{nullptr, 60, 5, -50, 1.0, 3.5, 0, 0.3},
                                           Hum{"Oxygen-Sys-Log-In-Short.ogg", 60, 5, -50, 1.08, 3.72, 0, 0}));

// A hum of three equal partials through the whole file over loud pink noise: every
// partial sounds to the file's end, so none is switched apart from the fundamental and
// the hum is one family. Near the region's edge a probe short enough to read a switching
// there hears the neighbouring partials and the noise's swell as the tone's level.
TEST(HumToTheEnd, OneFamilyOverLoudNoise)
{
    constexpr int32_t rate = 48000;
    std::vector<double> x = pink_noise(6 * rate, 0.05 * 32767, 3);
    for (size_t t = 0; t < x.size(); ++t)
        for (const double hz : {60.0, 120.0, 180.0}) x[t] += 0.05 * 32767 * std::sin(2 * M_PI * hz * double(t) / rate);
    Audio a;
    a.rate = rate;
    a.channels = 1;
    a.samples = to_samples(x);
    const Detection d = detect_tones(a, 0, a.frames());
    std::string found;
    for (const Tone& u : d.tones) found += " " + std::to_string(u.hz) + " Hz;";
    ASSERT_EQ(d.tones.size(), 1u) << "found" << found;
    EXPECT_NEAR(d.tones[0].hz, 60, d.resolution_hz);
    EXPECT_TRUE(d.tones[0].to_region_end);
    int32_t partials = 0;
    std::string orders;
    for (const Harmonic& h : d.tones[0].harmonics) {
        partials += h.order == 2 || h.order == 3;
        orders += " " + std::to_string(h.order);
    }
    EXPECT_EQ(partials, 2);
    // The noise's peaks near a higher multiple are no harmonic: they hold no frequency.
    EXPECT_EQ(d.tones[0].harmonics.size(), 2u) << "orders" << orders;
}

// Speech alone: the tool says so in words and with its own exit status.
TEST(SpeechAlone, DetectSaysNoSteadyTone)
{
    SPEECH_OR_SKIP(clip);
    TempFolder dir;
    write_audio(dir / "speech.wav", clip);
    const ToolRun run = run_tool({"detect", "speech.wav"}, dir.path());
    EXPECT_EQ(run.status, 4) << run.out << run.err;
    EXPECT_NE(run.out.find("no steady tone"), std::string::npos) << run.out;
}

// Music holds notes for a second or two, level and pitch nearly fixed; they swell,
// decay or glide by more than a steady tone does. Pieces that oxygen-sounds and
// gnome-audio ship: in Log-Out-Long and startup3 a held note's level scatters by 3 to
// 4 dB and moves by about 2 dB from its start to its end; Log-In opens on a note that
// decays by under 2 dB from its first third to its last, yet steadily, and later
// starts chords whose partials hold still; logout's chime leaves a partial that holds
// still for a second in its tail, at the frequency it sounded at from the start.
// Log-In-Short from 3.5 s on strikes a note again over the tail of the one before at
// its pitch: the attack is a step in level as a tone's switching is, but the note then
// decays and must not pass for a tone; from 3.75 s on, that note's quiet tail holds
// still where its loud attack, at its frequency, did not.
// A user may look at a few seconds only: a note or a chord that started before the
// region, or goes on after it, must not pass for a tone switched on at the region's
// start (Log-Out-Long's 370 Hz over its first 3 s, startup3's 147 Hz and logout's
// 1843 Hz from 1 s, Log-In-Short's 464 Hz from 2 s, Log-In's 1634 Hz from 1.5 s). Nor
// may a chime's ring that swells and fades once pass for a beating pair because two
// tones fit its run's middle, under 0.6 of their beat (the wind chime's 886 Hz from 5 s).
struct MusicRegion {
    const char* piece;
    double from;         // seconds
    double seconds = 0;  // 0: the region goes on to the piece's end
    const char* package = "oxygen-sounds, gnome-audio";
};
void PrintTo(const MusicRegion& c, std::ostream* os)
{
    *os << c.piece << " from " << c.from << " s";
    if (c.seconds > 0) *os << " for " << c.seconds << " s";
}

class MusicAlone : public ::testing::TestWithParam<MusicRegion> {};
TEST_P(MusicAlone, HeldNotesAreNotTones)
{
    const std::string path = std::string("/usr/share/sounds/") + GetParam().piece;
    if (!file_exists(path)) GTEST_SKIP() << "not installed: " << path << " (" << GetParam().package << ")";
    const Audio a = read_audio(path);
    const int64_t first = int64_t(GetParam().from * a.rate);
    const int64_t count = GetParam().seconds > 0 ? int64_t(GetParam().seconds * a.rate) : a.frames() - first;
    const Detection d = detect_tones(a, first, count);
    EXPECT_TRUE(d.tones.empty()) << d.tones[0].hz << " Hz from " << double(d.tones[0].first) / a.rate << " s";
}
INSTANTIATE_TEST_SUITE_P(
    Pieces, MusicAlone,
    ::testing::Values(MusicRegion{"Oxygen-Sys-Log-Out-Long.ogg", 0}, MusicRegion{"Oxygen-Sys-Log-In-Short.ogg", 0},
                      MusicRegion{"startup3.wav", 0}, MusicRegion{"Oxygen-Sys-Log-In.ogg", 0},
                      MusicRegion{"logout.wav", 0}, MusicRegion{"Oxygen-Sys-Log-In-Short.ogg", 3.5},
                      MusicRegion{"Oxygen-Sys-Log-In-Short.ogg", 3.75},
                      MusicRegion{"Oxygen-Sys-Log-Out-Long.ogg", 0, 3}, MusicRegion{"startup3.wav", 1, 3},
                      MusicRegion{"logout.wav", 1, 3}, MusicRegion{"Oxygen-Sys-Log-In-Short.ogg", 2, 3},
                      MusicRegion{"Oxygen-Sys-Log-In.ogg", 1.5, 3},
                      MusicRegion{"lomiri/ringtones/Wind chime.ogg", 5, 3, "lomiri-sounds"}));

// The tool reads the sound around a region that the region's tones are judged with:
// here, more before it than the fit needs.
class MusicAloneTool : public ::testing::TestWithParam<MusicRegion> {};
TEST_P(MusicAloneTool, DetectSaysNoSteadyTone)
{
    const std::string path = std::string("/usr/share/sounds/") + GetParam().piece;
    if (!file_exists(path)) GTEST_SKIP() << "not installed: " << path << " (oxygen-sounds, gnome-audio)";
    TempFolder dir;
    const ToolRun run = run_tool({"detect", path, "--start", std::to_string(GetParam().from) + "s", "--length",
                                  std::to_string(GetParam().seconds) + "s"},
                                 dir.path());
    EXPECT_EQ(run.status, 4) << run.out << run.err;
}
INSTANTIATE_TEST_SUITE_P(Pieces, MusicAloneTool,
                         ::testing::Values(MusicRegion{"Oxygen-Sys-Log-In.ogg", 1, 3},
                                           MusicRegion{"Oxygen-Sys-Log-In-Short.ogg", 1, 3}));

// A tone switched on and off within 5 ms spreads past the narrowest notch that covers
// it; the suggested settings must still cut it by 40 dB over its whole extent, its
// switching included, measured on the renderings with and without it.
TEST(FitUnderSpeech, CutsTheWholeSwitchedTone)
{
    SPEECH_OR_SKIP(clip);
    const Audio a = with_tone(clip, 1000, 1, -20, 1.2, 4.0);
    const Tone t = detect_tone(a, 0, a.frames());
    ASSERT_TRUE(t.found);
    PluginSession plugin(TULM_MODULE);
    const Fit fit = fit_settings(plugin.table(), a, a.frames(), t, 30, 1);
    const Audio out_with = run_plugin(plugin.table(), a, fit.settings, fit.placement, false);
    const Audio out_without = run_plugin(plugin.table(), clip, fit.settings, fit.placement, false);
    const int64_t from = std::max<int64_t>(int64_t(1.2 * a.rate), fit.stretch_first);
    const int64_t to = std::min<int64_t>(int64_t(4.0 * a.rate), fit.cut_end);
    EXPECT_GE(tone_cut_db(a, clip, out_with, out_without, from, to), 40) << settings_line(fit.settings);
}

// A quiet tone under music whose partials pass a bin or two from it: they pull its
// interpolated peak and lift its level, frame by frame, though the tone holds still.
// Pieces that oxygen-sounds and gnome-audio ship, over their first 6 s (most of their
// notes lie there): 440 Hz through two of them, and 120 Hz beside a louder partial
// at 129 Hz in logout's chime, where the tone's bins hold more of the partial than
// of the tone itself, and under Log-Out-Long's low notes, which move its peak by more
// than a fifth of a bin in the frames they cover; and under Log-In-Short, 120 Hz
// beside a partial a few hertz off that now and then outsounds it within its own bin,
// and 60 Hz, broken into pieces that notes two bins up (68 and 77 Hz) overlap by a
// few frames at their ends; 2500 Hz where quieter notes hold its bin before it starts
// (Log-Out-Long) or after it stops (startup3), so that its frames and theirs form one
// line; 2500 Hz at -50 dBFS in Log-In, where a quieter partial within its bin jostles
// it for a second before the two part; 937 Hz switched on in Log-Out-Long just after a
// note at its bin decays, whose run the note's frames join; 1477 Hz in K3B's jingle,
// which a louder note 3 Hz above dies into and which sounds until 0.08 s before the
// clip ends, so its switching off is not seen; 5000 Hz in Log-In, switched off
// 0.07 s before the region's end, nearer than half a block. Each must lead.
struct MusicTone {
    const char* piece;
    double hz, dbfs, from, to;  // to past the piece's end: to its end
};
void PrintTo(const MusicTone& c, std::ostream* os) { *os << c.piece << " + " << c.hz << " Hz at " << c.dbfs << " dBFS"; }

class ToneUnderMusic : public ::testing::TestWithParam<MusicTone> {};
TEST_P(ToneUnderMusic, FoundThroughThePartialsBesideIt)
{
    const MusicTone c = GetParam();
    const std::string path = std::string("/usr/share/sounds/") + c.piece;
    if (!file_exists(path)) GTEST_SKIP() << "not installed: " << path << " (oxygen-sounds, gnome-audio)";
    const Audio a = with_tone(read_audio(path), c.hz, 1, c.dbfs, c.from, c.to);
    const int64_t count = std::min<int64_t>(a.frames(), 6 * a.rate);
    const Detection d = detect_tones(a, 0, count);
    // Anywhere in the list: a held note of the music may sound more audibly over the rest.
    bool detected = false;
    const Tone t = tone_near(d, c.hz, 0, count, &detected);
    ASSERT_TRUE(detected);
    EXPECT_NEAR(t.hz, c.hz, d.resolution_hz);
    EXPECT_NEAR(t.level_dbfs, c.dbfs, 1.5);
    const double two_frames = 2.0 * a.rate / 30;
    EXPECT_NEAR(double(t.first), c.from * a.rate, two_frames);
    EXPECT_NEAR(double(t.end), std::min(c.to * a.rate, double(count)), two_frames);
}
INSTANTIATE_TEST_SUITE_P(Pieces, ToneUnderMusic,
                         ::testing::Values(MusicTone{"Oxygen-Sys-Log-Out-Long.ogg", 440, -50, 0, 99},
                                           MusicTone{"Oxygen-Sys-Log-In-Short.ogg", 440, -50, 0, 99},
                                           MusicTone{"logout.wav", 120, -50, 1.4, 3.7},
                                           MusicTone{"Oxygen-Sys-Log-Out-Long.ogg", 120, -50, 2.1, 5.58},
                                           MusicTone{"Oxygen-Sys-Log-In-Short.ogg", 120, -40, 0, 99},
                                           MusicTone{"Oxygen-Sys-Log-In-Short.ogg", 60, -50, 1.08, 3.72},
                                           MusicTone{"Oxygen-Sys-Log-Out-Long.ogg", 2500, -35, 1.1, 3.7},
                                           MusicTone{"startup3.wav", 2500, -35, 0.9, 3.1},
                                           MusicTone{"Oxygen-Sys-Log-In.ogg", 2500, -50, 2.1, 5.58},
                                           MusicTone{"Oxygen-Sys-Log-Out-Long.ogg", 937, -29, 3.46, 99},
                                           MusicTone{"Oxygen-K3B-Finish-Success.ogg", 1477, -60, 0.6, 2.01},
                                           MusicTone{"Oxygen-Sys-Log-In.ogg", 5000, -50, 1.0, 5.93}));

// Noise moves each frame's interpolated peak to either side of a steady tone; a tone
// plainly audible 15 dB under white noise (1 kHz at -46 dBFS, noise at -31 dBFS) must
// still be found, through the whole clip.
TEST(ToneUnderNoise, FoundThroughTheJitter)
{
    Audio a;
    a.rate = 48000;
    a.channels = 1;
    a.samples.resize(size_t(6 * a.rate));
    std::mt19937 random(15);
    std::uniform_real_distribution<double> noise(-0.05, 0.05);
    for (size_t t = 0; t < a.samples.size(); ++t)
        a.samples[t] = int16_t(std::lrint(32767 * (noise(random) + 0.005 * std::sin(2 * M_PI * 1000 * double(t) / a.rate))));
    const Detection d = detect_tones(a, 0, a.frames());
    ASSERT_EQ(d.tones.size(), 1u);
    EXPECT_NEAR(d.tones[0].hz, 1000, d.resolution_hz);
    EXPECT_NEAR(d.tones[0].level_dbfs, -46, 1.5);
    EXPECT_TRUE(d.tones[0].from_region_start && d.tones[0].to_region_end);
}

// Two machines' whines 0.2 to 1 Hz apart beat as one line, and speech or music over it
// lifts some of its swells: its level then shows no clean dip between two swells at
// one level, and near the nulls, where the pair is quiet, the program pulls its peak's
// frequency. Where it stands clear of the program the two steady tones still explain
// it, so it is one tone at their mean, over the pair's extent, and the notch suggested
// for it cuts both. Two tones nearly the widest beat apart over quiet music break at
// their nulls into swells, of which only one lasts long enough for a run: the swells
// beside it still tell the pair's extent. A pair switched on a little before a null
// leaves a swell there too short for a run of its own: it still sounds from its switching
// on, and not only from the run past the null. One under the words whose run starts
// where a block first reaches it is told by the blocks that hold it whole. One in a
// jingle whose run ends at its only null swells and fades there as a held note does:
// the pair's swell past that null still tells it from a note.
struct PairUnder {
    const char* piece;  // nullptr: the spoken words
    double low_hz, apart_hz, dbfs, second_db, from, to;
};
void PrintTo(const PairUnder& c, std::ostream* os)
{
    *os << (c.piece ? c.piece : "speech") << " + " << c.low_hz << " Hz and " << c.low_hz + c.apart_hz << " Hz at "
        << c.dbfs << " dBFS";
}

class PairUnderProgram : public ::testing::TestWithParam<PairUnder> {};
TEST_P(PairUnderProgram, OneToneAtTheMeanThatOneNotchCuts)
{
    const PairUnder c = GetParam();
    Audio program;
    if (const std::string missing = program_of(c.piece, &program); !missing.empty()) GTEST_SKIP() << missing;
    const double high_hz = c.low_hz + c.apart_hz;
    // In step where they start: a pair switched on in a null sounds at first under half
    // its swells, where no reading can place its start.
    const double in_step = -2 * M_PI * c.apart_hz * c.from;
    const Audio a = with_tone(with_tone(program, c.low_hz, 1, c.dbfs, c.from, c.to), high_hz, 1, c.dbfs + c.second_db,
                              c.from, c.to, in_step);
    const int64_t count = std::min<int64_t>(a.frames(), 6 * a.rate);
    const Detection d = detect_tones(a, 0, count);
    SCOPED_TRACE(explain_text(d, a.rate));
    std::vector<Tone> at_pair;
    for (const Tone& u : d.tones)
        if (std::fabs(u.hz - c.low_hz) <= d.resolution_hz || std::fabs(u.hz - high_hz) <= d.resolution_hz)
            at_pair.push_back(u);
    ASSERT_EQ(at_pair.size(), 1u);
    const Tone& t = at_pair[0];
    EXPECT_NEAR(t.hz, (c.low_hz + high_hz) / 2, d.resolution_hz);
    const double two_frames = 2.0 * a.rate / 30;
    EXPECT_NEAR(double(t.first), c.from * a.rate, two_frames) << "starts at " << double(t.first) / a.rate << " s";
    EXPECT_NEAR(double(t.end), c.to * a.rate, two_frames) << "ends at " << double(t.end) / a.rate << " s";

    PluginSession plugin(TULM_MODULE);
    const Fit fit = fit_settings(plugin.table(), a, count, t, 30, 1);
    EXPECT_LT(fit.notch.low_hz, c.low_hz);
    EXPECT_GT(fit.notch.high_hz, high_hz);
}
INSTANTIATE_TEST_SUITE_P(Pairs, PairUnderProgram,
                         ::testing::Values(PairUnder{nullptr, 1000, 0.5, -35, 0, 1.2, 3.6},
                                           PairUnder{nullptr, 612, 0.7, -30, -1, 2.0, 4.0},
                                           PairUnder{nullptr, 2500, 0.25, -45, -2, 0.5, 3.0},
                                           PairUnder{"Oxygen-Sys-Log-In-Short.ogg", 325.5, 0.9, -8, -1, 1.9, 3.8},
                                           PairUnder{"logout.wav", 1200, 0.5, -45, -1, 0.8, 2.8},
                                           PairUnder{"Oxygen-Sys-Log-In.ogg", 3000, 0.3, -40, 0, 1.0, 3.5},
                                           PairUnder{nullptr, 1000, 0.5, -35, 0, 1.2, 4.6},
                                           PairUnder{"logout.wav", 1200, 0.5, -45, -1, 0.8, 3.9},
                                           PairUnder{"logout.wav", 6000, 0.98, -60, -1, 1.0, 2.9},
                                           PairUnder{"Oxygen-Sys-Log-In.ogg", 6000, 0.98, -60, -1, 1.0, 2.9},
                                           PairUnder{"Oxygen-Sys-App-Positive.ogg", 15376, 0.8, -63, -1, 0.58, 1.83},
                                           PairUnder{nullptr, 462.6, 0.9, -45, -1, 1.5, 4.2},
                                           PairUnder{"Oxygen-K3B-Finish-Success.ogg", 2817, 0.6, -60, 0, 0.23, 1.66}));
