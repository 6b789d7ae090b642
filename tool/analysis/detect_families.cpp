#include "tool/analysis/detect_parts.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "tool/analysis/statistics.h"

namespace detection {
namespace {

// A quieter partial on a lower tone's multiple whose track holds on beside it in more
// than this share of the frames on one side at least is a piece of a harmonic that
// louder sound broke, not a tone switched on by itself: more present than absent.
constexpr double kPieceBesideShare = 0.5;

// A quieter partial on a lower tone's multiple that shares this share of both their
// extents sounds with it, whatever its edges read: most of each, as a beep switched on
// within a drone's sound does not.
constexpr double kSharedShare = 0.75;

// Beyond kHighestHarmonic a series is followed from its highest harmonic found, and
// that says where the series lies to within a bin for as far again: a square wave's
// misses every other order, and speech or a band-stop over a buzz may hide a stretch of
// it, past which it goes on. So far its peaks are read where no tone stands; further
// on, only the tones listed are asked whether they lie on it (speech may hide all but a
// few of a faint buzz's harmonics, and a tone is cheap to ask where a multiple's peaks
// through the run are not).
constexpr int32_t kSeriesReach = 2;
// Orders in a row a square wave's series may miss (every other one) and more, within
// which a quieter partial on it joins however its ends read. Past a longer gap the
// series is followed still, but a partial there joins as one below kHighestHarmonic
// does, switched with the fundamental or sharing most of its extent: a beep that lies
// on a bass note's far multiple is a tone of its own.
constexpr int32_t kSeriesGap = 4;

// Where a family looks for its harmonic of `order`, and how far off that a partial may
// lie. Up to kHighestHarmonic, a hum's range, at the order times the fundamental, within
// multiple_hz (steady_hz for a piece) plus the drift as many times over. Beyond, a
// buzz's harmonics lie so close that those tolerances would take in every partial, so
// the series is followed from its highest harmonic found (`top`, at `top_hz`): a
// harmonic a few orders further lies within a bin of where it says.
struct Multiple {
    double hz, tolerance, on_tolerance;
    bool followed = false;  // beyond kHighestHarmonic, within kSeriesGap of the highest found
    bool reached = true;    // within kSeriesReach of the highest found, where its peaks are read
};
Multiple multiple_of(const Context& c, const Tone& low, int32_t order, int32_t top, double top_hz)
{
    const DetectParams& p = c.p;
    if (order <= kHighestHarmonic)
        return Multiple{order * low.hz, p.multiple_hz + order * low.drift_hz, p.steady_hz + order * low.drift_hz};
    return Multiple{order * top_hz / top, c.f.bin_hz(), c.f.bin_hz(), order - top <= kSeriesGap,
                    order <= kSeriesReach * top};
}

// What a confirmed tone is to the family of a lower tone, at one of its multiples.
enum class AtMultiple { kElsewhere, kOwnTone, kMember };

// A hum's partials come and go together; a tone on the multiple `order` of `low` that
// is switched on or off apart from it is a tone of its own that happens to lie there:
// a drone hides no beep in its family. A quieter one may be a piece of a harmonic that
// speech or music over it broke, though: it lies on the multiple as a harmonic does,
// and its track holds on beside it (in half the frames or more) at least on one side,
// where a beep's was absent before it and after it but for the program's stray peaks.
AtMultiple at_multiple(const Context& c, const Tone& low, const Multiple& at, const Tone& u, bool clips)
{
    const DetectParams& p = c.p;
    const double hz = at.hz;
    const double tolerance = at.tolerance;
    const bool overlap = std::min(u.end, low.end) - std::max(u.first, low.first) > (u.end - u.first) / 2;
    if (!overlap || std::fabs(u.hz - hz) > tolerance) return AtMultiple::kElsewhere;
    // Where the audio clips, two loud tones make products at their sums and differences
    // (770 and 1209 Hz make one at 2 x 1209 - 3 x 770 = 108 Hz), on whose multiples they
    // lie: a tone louder than `low` is then its source, not its harmonic.
    if (clips && u.level_dbfs > low.level_dbfs) return AtMultiple::kOwnTone;
    // A buzz's high harmonics are faint, and the program over them moves where their
    // extents read: one quieter than the fundamental on the followed series, within a
    // bin, is a harmonic however its ends read.
    if (at.followed && u.level_dbfs <= low.level_dbfs) return AtMultiple::kMember;
    const double apart = p.together_seconds * c.f.rate;
    const bool switched_apart =
        std::fabs(double(u.first - low.first)) > apart || std::fabs(double(u.end - low.end)) > apart;
    const bool on_multiple = std::fabs(u.hz - hz) <= at.on_tolerance;
    // Its track counts only on a side where the fundamental sounds on past it: a piece
    // lies within its harmonic's sound, while a partial that outlasts the fundamental on
    // both sides (a beep longer than a drone's note) was broken out of no family.
    const auto absent = [&](bool before) {
        const bool within = before ? u.first > low.first : u.end < low.end;
        return !within || track_share(c, u, before) < kPieceBesideShare;
    };
    // A faint harmonic's edges read where the program over it lets them: one that sounds
    // through most of the fundamental's extent, and the fundamental through most of its
    // own, is the family's, where a beep on a drone's multiple is switched within it.
    const double shared = double(std::min(u.end, low.end) - std::max(u.first, low.first));
    const bool through =
        shared >= kSharedShare * double(low.end - low.first) && shared >= kSharedShare * double(u.end - u.first);
    // Speech over a harmonic for a while moves one of its edges but not the other: one
    // that ends (or starts) with the fundamental, to within the block an extent is read
    // with, and lies within its extent, is its harmonic, where a beep on a drone's
    // multiple is switched on and off within it.
    const double block = c.f.n;
    const bool one_edge =
        std::fabs(double(u.first - low.first)) <= block || std::fabs(double(u.end - low.end)) <= block;
    const bool inside = u.first >= low.first - block && u.end <= low.end + block;
    // Past the series' reach nothing says a harmonic sounds there for the program to
    // break: what sounds beside a partial there (a beating pair's own swell past its
    // null) is no harmonic's piece, and of those switched apart from the fundamental
    // only one that shares most of its extent joins.
    const bool piece = u.level_dbfs <= low.level_dbfs && on_multiple &&
                       (through || (at.reached && ((one_edge && inside) || !(absent(true) && absent(false)))));
    return switched_apart && !piece ? AtMultiple::kOwnTone : AtMultiple::kMember;
}

// The harmonic at the multiple `order` of `low` where no tone stands there, read from the
// peaks through its run; false when the multiple holds no harmonic of it.
bool held_harmonic(const Context& c, const Confirmed& low, const Multiple& multiple, Harmonic* h)
{
    const DetectParams& p = c.p;
    const Frames& f = c.f;
    const Tone& t = low.tone;
    const Run& run = low.run;
    const double hz = multiple.hz;
    const double tolerance = multiple.tolerance;
    std::vector<double> hzs, levels;
    const int32_t bin = int32_t(std::lround(hz / f.bin_hz()));
    for (int32_t m = run.from; m < run.to; ++m)
        if (const Peak* peak = peak_near(p, f.peaks[m], bin, 1 + int32_t(tolerance / f.bin_hz()))) {
            hzs.push_back(peak->at * f.bin_hz());
            levels.push_back(peak->level_dbfs);
        }
    if (hzs.size() < p.partial_present * (run.to - run.from)) return false;
    // A harmonic holds the family's frequency as the fundamental does; a partial of the
    // program a bin beside the multiple lifts the same bins but lies off it, and the
    // peaks of noise there, as many as a harmonic's in loud noise, scatter over the
    // bins looked at (their middle half too, where speech over a harmonic moves a few).
    const double at = median(hzs);
    if (std::fabs(at - hz) > multiple.on_tolerance || middle_spread(hzs) > multiple.on_tolerance) return false;
    // A hum's partials are switched on and off together: a line that goes on past both
    // ends of the fundamental belongs to the program.
    Tone line = t;
    line.hz = at;
    if (track_goes_on(c, line, true) && track_goes_on(c, line, false)) return false;
    h->hz = at;
    // Its level is its own, where nothing over it lifts its bin.
    h->level_dbfs = own_level(p, levels);
    return true;
}

// A family: the harmonics of its fundamental, and which of the confirmed tones are them.
struct Family {
    std::vector<Harmonic> harmonics;
    std::vector<size_t> members;
};

// A tone that clips has harmonics past half the rate too, which the sampling folds back
// into the band (a 515 Hz tone's 91st lies at 46 865 Hz and sounds at 1135 Hz). Quieter
// tones over most of their extent within its own, within a bin of where a multiple folds,
// are the clipping's and join its family, with the order they fold from. Multiples up to
// twice the rate are looked at: the series' highest harmonic found gives `hz` to a small
// share of a bin over that many orders.
void with_aliases(const Context& c, const std::vector<Confirmed>& all, size_t low, double hz, std::vector<bool>* taken,
                  Family* family)
{
    const Tone& t = all[low].tone;
    const double rate = c.f.rate, nyquist = rate / 2;
    for (size_t i = 0; i < all.size(); ++i) {
        const Tone& u = all[i].tone;
        const bool within = std::min(u.end, t.end) - std::max(u.first, t.first) > (u.end - u.first) / 2;
        if ((*taken)[i] || i == low || u.level_dbfs >= t.level_dbfs || !within) continue;
        for (int32_t order = int32_t(nyquist / hz) + 1; order * hz <= 2 * rate; ++order) {
            const double folded = std::fabs(order * hz - rate * std::round(order * hz / rate));
            if (std::fabs(folded - u.hz) > c.f.bin_hz()) continue;
            (*taken)[i] = true;
            family->members.push_back(i);
            family->harmonics.push_back(Harmonic{order, u.hz, u.level_dbfs, u.level_dbfs - t.level_dbfs});
            break;
        }
    }
}

// The family of `all[low]`, from the tones not `taken` into a family before: at each
// whole multiple, the tones that are its members, or else the multiple's peaks, unless a
// tone of its own stands there. A buzz's series is one family however long (a square
// wave's or a clipped tone's reaches the top of the band): one entry, not one a harmonic.
Family family_of(const Context& c, const std::vector<Confirmed>& all, size_t low, std::vector<bool> taken)
{
    const Tone& t = all[low].tone;
    Family family;
    const double nyquist = c.f.rate / 2.0;
    int32_t top = 1;
    double top_hz = t.hz;
    const bool clips = clips_within(c.audio, t.first, t.end);
    for (int32_t order = 2; order * top_hz / top < kHighestShare * nyquist; ++order) {
        const Multiple at = multiple_of(c, t, order, top, top_hz);
        const bool within_reach = order <= kHighestHarmonic || at.reached;
        Harmonic h;
        h.order = order;
        bool member = false, own_tone = false;
        for (size_t i = 0; i < all.size(); ++i) {
            if (taken[i] || i == low) continue;
            const AtMultiple verdict = at_multiple(c, t, at, all[i].tone, clips);
            own_tone = own_tone || verdict == AtMultiple::kOwnTone;
            if (verdict != AtMultiple::kMember) continue;
            taken[i] = member = true;
            family.members.push_back(i);
            h.hz = all[i].tone.hz;
            h.level_dbfs = all[i].tone.level_dbfs;
        }
        if (!member && (own_tone || !within_reach || !held_harmonic(c, all[low], at, &h))) continue;
        h.relative_db = h.level_dbfs - t.level_dbfs;
        family.harmonics.push_back(h);
        top = order;
        top_hz = h.hz;
    }
    if (clips) with_aliases(c, all, low, top_hz / top, &taken, &family);
    return family;
}

}  // namespace

// Families from the lowest tone up, so a hum's fundamental gathers its harmonics; the
// tones not taken into a family are the region's.
std::vector<Tone> families(const Context& c, const std::vector<Confirmed>& tones, std::vector<Dropped>* dropped)
{
    std::vector<size_t> order(tones.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return tones[a].tone.hz < tones[b].tone.hz; });
    std::vector<bool> taken(tones.size(), false);
    std::vector<std::vector<Harmonic>> harmonics(tones.size());
    for (const size_t low : order) {
        if (taken[low]) continue;
        Family family = family_of(c, tones, low, taken);
        harmonics[low] = std::move(family.harmonics);
        for (const size_t m : family.members) taken[m] = true;
    }
    std::vector<Tone> out;
    for (size_t i = 0; i < tones.size(); ++i) {
        const Tone& t = tones[i].tone;
        if (!taken[i]) {
            out.push_back(t);
            out.back().harmonics = harmonics[i];
            continue;
        }
        Dropped d{DropStage::kFamilies, DropReason::kHarmonic, t.hz, t.first, t.end, 0, 0, 0};
        for (size_t low = 0; low < tones.size(); ++low)
            for (const Harmonic& h : harmonics[low])
                if (!taken[low] && h.hz == t.hz) d.other_hz = tones[low].tone.hz, d.figure = h.order;
        dropped->push_back(d);
    }
    return out;
}

}  // namespace detection
