#pragma once
// The detector's evaluation corpus: recordings that Debian packages install, each cut to
// one clip, split once into a tuning half and a held-out half, and the tones mixed into
// them as users meet them. Shared by the evaluation (detect_corpus), the screening
// program (corpus_screen) and their tests; it reaches the tool only through the
// detector's public entry points and the audio reader.
#include <cstdint>
#include <string>
#include <vector>

#include "tool/analysis/audio.h"
#include "tool/analysis/detect.h"

// One line of bench/corpus/recordings.tsv.
struct Recording {
    std::string package;
    std::string path;        // a file, or a folder ending in '/' (its spoken words in a row)
    std::string kind;        // the stratum: speech, music-..., ambient, crowd-room
    std::string language;    // "-" for no speech
    double from_s = 0;       // where the clip starts in the file
    double seconds = 0;      // the clip's longest length
    bool tuned = false;      // an earlier evaluation was tuned on it: always in the tuning half
    std::string half;        // "tuning" or "held-out", as committed
    std::vector<double> own_hz;  // the recording's own steady tones found by screening
    std::string notes;
};

struct Corpus {
    uint64_t seed = 0;       // the split's seed, from the file's "# seed" line
    std::vector<Recording> recordings;
};

// Reads the corpus file. Throws ToolError naming the line of a malformed entry.
Corpus read_corpus(const std::string& path);

// The split rule: within each kind, the recordings tuned on go to the tuning half; the
// others, in the order of a hash of the seed and their path, each go to the half that
// holds fewer of that kind so far (the held-out half on a tie). The result depends only
// on the seed and the set of recordings, not on their order in the file.
// Returns "tuning" or "held-out" for each recording, in the given order.
std::vector<std::string> split_halves(const std::vector<Recording>& recordings, uint64_t seed);

// The clip a recording gives: `seconds` of the file from `from_s` (less where the file
// ends), or for a folder its recordings of at least 0.6 s in name order, each followed
// by 0.15 s of silence, until the clip is `seconds` long. Throws ToolError.
Audio load_clip(const Recording& r);

// The programme's level in the critical band around `hz` (critical_band_hz, which the
// detector's ranking uses too) over frames [first, end), in
// dBFS (a full-scale sine is 0 dBFS): the power of its channels' mean in that band.
double band_level_dbfs(const Audio& audio, double hz, int64_t first, int64_t end);

// A steady tone mixed into a clip: partials at `hz` (and whole multiples for a hum, or a
// second tone close by for a beating pair), switched on and off with raised-cosine ramps.
struct Partial {
    double hz = 0;
    double level_dbfs = 0;   // the partial alone: a full-scale sine is 0 dBFS
    double phase = 0;
    int64_t from = 0, to = -1;  // frames after the case's first where it sounds; to < 0: to the case's end
    double decay_s = 0;         // 0: held; else its amplitude falls by a factor e each decay_s (a note's)
    double drift_hz_per_s = 0;  // its frequency moves at this rate, `hz` at the middle of where it sounds
};
// single, hum, pair: every recording's six cases. The rest are the cases users meet,
// mixed into the tuning half's clips (make_user_cases): tones switched on together
// (telephone keys, ringback, busy, the information signal's three), a beep switched on
// with a note, a whine drifting through the clip, square and sawtooth buzzes, a clipped
// sine, and a sine over full scale in a floating-point file.
enum class CaseKind { single, hum, pair, together, with_note, drift, buzz, clipped, over_full_scale };
struct MixCase {
    CaseKind kind = CaseKind::single;
    std::string label;       // what a user case is ("telephone key 5", "sawtooth buzz")
    int targets = 1;         // the leading partials that are tones to list (a note's follow)
    double clip_dbfs = 0;    // kind clipped: the tone's peaks cut flat at this level
    std::string role;        // "", "edge" (in the clip's first or last second), "long"
    std::vector<Partial> partials;  // the fundamental (or the pair's lower tone) first
    int64_t first = 0, end = 0;     // where it sounds, in frames of the clip
    int64_t ramp = 0;               // frames of each switching ramp
    double level_dbfs = 0;          // a single tone's, a hum's fundamental's, a pair's both together
    double over_band_db = 0;        // that level over the programme's in the band around partial 0
    std::string describe(int32_t rate) const;
};

// The level span of mixed tones over the programme in their band: from clearly audible
// down to just audible. Tones over near silence are held at kQuietestDbfs or louder.
constexpr double kLoudestOverBandDb = 20, kFaintestOverBandDb = 0;
constexpr double kQuietestDbfs = -60, kLoudestDbfs = -6;

// The cases mixed into one clip: four single tones (one in the clip's first or last
// second, one longer than the plug-in's longest stretch where the clip allows), a hum
// with 2 to 5 harmonics (half of them mains hum at 50 or 60 Hz) and a beating pair 0.2
// to 1 Hz apart; each tone 60 Hz to 16 kHz and at least 15 Hz from the recording's own
// tones. Deterministic for a seed and path.
std::vector<MixCase> make_cases(const Audio& clip, const Recording& r, uint64_t seed);

// The cases users meet, for the tuning half: the table's cases `index`, `index +
// count`, ... of twice its length (so each is mixed into two clips), for the index-th
// of `count` recordings. Deterministic for a seed and path.
std::vector<MixCase> make_user_cases(const Audio& clip, const Recording& r, uint64_t seed, int index, int count);

// Where partial `p` of `c` sounds: [first, end) in frames of the clip.
int64_t partial_first(const MixCase& c, const Partial& p);
int64_t partial_end(const MixCase& c, const Partial& p);

// `clip` with the case's tone added to every channel, rounded and clipped to 16 bits as
// the tool reads a floating-point file.
Audio mix_case(const Audio& clip, const MixCase& c);

// Portable pseudo-random numbers (the standard distributions differ between libraries).
uint64_t mix64(uint64_t x);
uint64_t hash_text(const std::string& s);
struct Draw {
    uint64_t state;
    double uniform();                 // [0, 1)
    double between(double a, double b) { return a + (b - a) * uniform(); }
};
