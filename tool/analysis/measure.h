#pragma once
// Compares a file with its processed version over the processed stretch. Levels are
// taken over the stretch's middle only: the fade-in from silence and the tail
// cross-fade back to the source would otherwise dominate every figure.
#include <cmath>
#include <cstdint>
#include <limits>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"
#include "tool/analysis/settings.h"
#include "tool/analysis/spectrum.h"

// Frames on each side of a stretch boundary searched for its largest step.
constexpr int64_t kJumpReach = 16;

// The longest segment the measured spectra (and their plot) average: 0.34 s at 48 kHz,
// bins under 3 Hz, fine enough to part a notch's edge from the tone beside it.
constexpr int32_t kLongestSegment = 16384;

// The band a speech recording lives in, as a telephone passes it.
constexpr double kSpeechLowHz = 300, kSpeechHighHz = 3400;

// Whether a band from low_hz to high_hz takes part of speech's band along.
inline bool band_reaches_speech(double low_hz, double high_hz)
{
    return high_hz >= kSpeechLowHz && low_hz <= kSpeechHighHz;
}

// A notch band wider than this many octaves takes program material along with a tone.
constexpr double kWideBandOctaves = 1.0 / 3;

// Whether a notch band from low_hz to high_hz is that wide (one reaching down to 0 Hz
// always is): measure says so of the band it measured, and detect of the band it suggests.
inline bool band_too_wide(double low_hz, double high_hz)
{
    return low_hz <= 0 || std::log2(high_hz / low_hz) > kWideBandOctaves;
}

struct Measurement {
    int64_t stretch_first = 0;     // the processed stretch, in frames
    int64_t stretch_count = 0;
    int64_t middle_first = 0;      // the part measured: after the fade-in, before the tail
    int64_t middle_count = 0;
    double centre_hz = 0, low_hz = 0, high_hz = 0;
    double centre_attenuation_db = 0;   // input over output power around the notch centre
    bool centre_silent = false;         // nothing sounds at the notch centre in the input:
                                        // centre_attenuation_db says nothing
    Tone tone;                          // the tone the notch is aimed at (see measure());
                                        // not found: no tone to measure
    double named_hz = 0;                // the frequency the tone was named by (0: none)
    int64_t tone_first = 0;             // where its cut was read: where it sounds in the middle
    int64_t tone_end = 0;
    double tone_attenuation_db = 0;     // tone_cut_over() that span
    double outside_change_db = 0;       // output over input power outside the notch band
    double outside_in_dbfs = 0;         // that power itself, a full-scale sine being 0 dBFS
    double outside_out_dbfs = 0;
    double below_change_db = 0;         // output over input power from 20 Hz to below the band
    double above_change_db = 0;         // from above the band to half the sampling rate
    double speech_change_db = 0;        // over speech's band, the notch included
    bool wide_band = false;             // the notch band spans more than kWideBandOctaves
    double peak_dbfs = 0;               // output peak over the stretch; -inf: every sample 0
    int64_t clipped = 0;                // output samples at the 16-bit limits in the stretch
    int64_t clipped_input = 0;
    double jump_start = 0, jump_end = 0;              // largest sample step, full scale = 1
    double input_jump_start = 0, input_jump_end = 0;  // the same in the input
};

// The largest step between neighbouring samples (full scale = 1) within 16 frames of
// frame `at`, over every channel: a click at a stretch's edge shows as one.
double largest_jump(const Audio& a, int64_t at);

// How far a tone was cut over frames [first, end), in dB, measured without the analysis:
// the clip is rendered once with the tone (`with` -> `out_with`) and once without it
// (`without` -> `out_without`), and what the tone added after processing is compared
// with the tone itself.
double tone_cut_db(const Audio& with, const Audio& without, const Audio& out_with, const Audio& out_without,
                   int64_t first, int64_t end);

// A tone's amplitude (full scale = 1) under the 16-bit floor, -100 dBFS: what is left of
// it there is silence, and readings below it are noise that no two reads agree on.
constexpr double kSilentAmplitude = 1e-5;

// How deeply a tone was cut, in dB: its amplitude in `in` over that in `out`, each read
// at `hz` by a Hann-windowed single-frequency DFT over frames [first, end), where the
// tone sounds and the stretch is past its fade-in and before its tail. Both detect's
// trials and measure report this figure, so the same settings read the same cut. A
// residual under kSilentAmplitude counts as kSilentAmplitude. `out` is at `in`'s rate.
// The wave both are read through is taken from `waves` (tone_wave).
double tone_cut_over(const Audio& in, const Audio& out, double hz, int64_t first, int64_t end,
                     ToneWaves* waves = nullptr);

// The program's power outside a notch band, and outside the blur of its edges, over
// frames [first, first + count) of `a` (clipped to it), as average_spectrum's bins add
// it up: what a notch leaves alone, so that a change there is the program's, not the tone's.
// The spectrum's window is taken from `windows` (BlockSpectrum).
double program_power(const Audio& a, int64_t first, int64_t count, const NotchGeometry& g,
                     SpectrumWindows* windows = nullptr);

// Under this the program outside the notch band is silent: a recording's own hiss lies over it.
constexpr double kProgramSilentDbfs = -70;

// The program is said to dip over the piece of this length where it changed most: a
// fade's silence at a stretch's start lasts tenths of a second.
constexpr double kDipSeconds = 0.1;

// A rise outside the notch band smaller than this is within the reading's own scatter.
constexpr double kProgramRiseDb = 0.5;

// What processing did to the program over frames [first, first + count): its power
// outside the notch band after over before, in dB, over the whole span, and over the
// kDipSeconds piece (stepped by half of it) where it fell most, pieces where the program
// is silent left out (0: it fell nowhere). Where it rose by kProgramRiseDb or more,
// `added_db` is the power added there under the power the band held before, in dB (NaN
// where it did not rise): a notch takes what its band holds block by block, so a loud
// tone that does not repeat whole over a block leaves a trace of itself outside the
// band, and that, not the program, is what got louder.
struct ProgramChange {
    double change_db = 0;
    double dip_db = 0;
    double added_db = std::numeric_limits<double>::quiet_NaN();
};
ProgramChange program_change(const Audio& in, const Audio& out, int64_t first, int64_t count, const NotchGeometry& g);

// `first` is the stretch's first frame; `in` and `out` must have the same shape. The
// tone measured is the one at `tone_hz` when it is not 0, where a steady tone was
// detected near it (tone_near; none near it: no tone is measured); without it, the
// detected tone or hum harmonic inside the notch band nearest the centre, or the most
// audible tone when none lies inside: a clipped tone's harmonics can outrank the tone.
// Throws ToolError when the shapes differ or the stretch's middle is too short.
Measurement measure(const Audio& in, const Audio& out, int64_t first, const NotchGeometry& g, double tone_hz = 0);
