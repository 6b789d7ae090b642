#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>

namespace detection {

namespace {

// A melody or a bass line moves mostly by steps no wider than a fifth; a wider leap is
// left alone, so that a hum and a note of the program rarely meet by chance.
constexpr double kWidestStep = 1.5;

// Where `a` ends and `b` starts within a block of each other (legato notes overlap a
// little, and each end is read to a block), both switches seen inside the region:
// the seconds between them, or -1.
double hands_over(const Context& c, const Tone& a, const Tone& b)
{
    if (a.to_region_end || b.from_region_start) return -1;
    const int64_t apart = std::llabs(a.end - b.first);
    return apart <= c.f.n ? double(apart) / c.f.rate : -1;
}

}  // namespace

// An instrument's note sounds its partials from its attack to its release, and the
// next note of its line takes over where it ends, a step of the scale away: two
// families so met are the program's notes, each the other's neighbour. A hum is
// switched on and off with no note of the program handing over to it, and a beep or a
// whine holds no family.
std::vector<Tone> without_melody(const Context& c, std::vector<Tone> tones, std::vector<Dropped>* dropped)
{
    std::vector<bool> note(tones.size(), false);
    std::vector<Dropped> notes(tones.size());
    for (size_t i = 0; i < tones.size(); ++i)
        for (size_t j = 0; j < tones.size(); ++j) {
            const Tone& a = tones[i];
            const Tone& b = tones[j];
            if (i == j || a.harmonics.empty() || b.harmonics.empty()) continue;
            const double step = std::max(a.hz, b.hz) / std::min(a.hz, b.hz);
            if (std::fabs(a.hz - b.hz) <= c.f.bin_hz() || step > kWidestStep) continue;
            const double apart = hands_over(c, a, b);
            if (apart < 0) continue;
            const double block = double(c.f.n) / c.f.rate;
            note[i] = note[j] = true;
            notes[i] = Dropped{DropStage::kFamilies, DropReason::kMelodyNote, a.hz, a.first, a.end, apart, block, b.hz};
            notes[j] = Dropped{DropStage::kFamilies, DropReason::kMelodyNote, b.hz, b.first, b.end, apart, block, a.hz};
        }
    std::vector<Tone> kept;
    for (size_t i = 0; i < tones.size(); ++i) {
        if (note[i]) dropped->push_back(notes[i]);
        else kept.push_back(tones[i]);
    }
    return kept;
}

}  // namespace detection
