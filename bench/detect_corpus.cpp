// How the tool's tone detection and its suggested settings hold on the corpus of
// bench/corpus/recordings.tsv: tones, hums and beating pairs mixed into each clip as
// users meet them (make_cases; in the tuning half also make_user_cases), the clips
// without them whole and 3 s at a time, and the cut the suggested settings leave over a
// tone's whole extent. Every row about a tone is split by whether a listener hears it
// (bench/audible.h, from the tone alone and the programme alone). Every figure is
// printed for the held-out half first, then the tuning half; the held-out figures are
// the ones that count. Run by hand (never by the tests), after scripts/install-deps.sh corpus:
//   detect_corpus [--corpus FILE] [--half held-out|tuning] [--only TEXT] [--verbose]
//                 [--no-fit] [--plugin PATH] [--split]
// --only runs the recordings whose path holds TEXT; --verbose lists every miss;
// --no-fit skips the settings; --split prints the split rule's halves and checks them
// against the file's.
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "tool/analysis/conversion_clipping.h"
#include "tool/analysis/detect.h"
#include "tool/session/fit.h"
#include "tool/analysis/measure.h"
#include "tool/session/plugin_session.h"
#include "tool/analysis/tool_error.h"
#include "tool/commands/error_words.h"
#include "tool/report/explain.h"
#include "audible.h"
#include "corpus.h"

namespace {

constexpr int32_t kFps = 30;
constexpr double kExtentS = 1.0 / 15;                  // two video frames at 30 fps
constexpr double kRegionSeconds = 3.0, kRegionStep = 1.0;  // the plug-in's longest stretch
constexpr double kShallowCutDb = 20;

struct Count {
    int hit = 0, all = 0;
    void add(bool ok) { hit += ok, all += 1; }
    std::string text() const
    {
        return all ? fmt::format("{}/{} ({:.0f} %)", hit, all, 100.0 * hit / all) : std::string("-");
    }
};

// A row about tones, counted apart for the tones a listener hears and those the
// programme masks.
struct Strata {
    Count audible, masked;
    void add(bool heard, bool ok) { (heard ? audible : masked).add(ok); }
    Count all() const { return Count{audible.hit + masked.hit, audible.all + masked.all}; }
};

struct Score {
    int recordings = 0;
    Strata single, first, hum, pair, extent, shallow, warned_shallow, no_settings;
    Strata pair_once, pair_extent, pair_shallow;
    Strata keys, together, with_note, drift, buzz, buzz_once, clipped, clipped_once, clipped_own, over, over_once,
        over_clean;
    Count whole, regions;
    std::vector<double> cuts[2];  // over each suggested tone's whole extent, dB: masked, audible
    std::vector<std::string> misses;
    std::vector<std::string> warned;  // shallow cuts the tool warns of: not misses, but worth reading
};

// The reported tone nearest `hz` within one analysis bin that overlaps [first, end).
const Tone* match(const Detection& d, double hz, int64_t first, int64_t end)
{
    const Tone* best = nullptr;
    for (const Tone& t : d.tones)
        if (std::fabs(t.hz - hz) <= d.resolution_hz && t.first < end && t.end > first &&
            (!best || std::fabs(t.hz - hz) < std::fabs(best->hz - hz)))
            best = &t;
    return best;
}

// A tone the recording carries itself (found by screening) is no false report.
bool own_tone(const Recording& r, const Tone& t)
{
    for (double hz : r.own_hz)
        if (std::fabs(t.hz - hz) <= std::max(t.resolution_hz, 2.0)) return true;
    return false;
}

std::string listing(const Detection& d, int32_t rate)
{
    std::string s;
    for (const Tone& t : d.tones)
        s += fmt::format("{}{:.1f} Hz {:.1f} dBFS {:.2f}-{:.2f} s", s.empty() ? "" : "; ", t.hz, t.level_dbfs,
                         double(t.first) / rate, double(t.end) / rate);
    return s.empty() ? "nothing" : s;
}

// What the detector dropped within one analysis bin of `hz` over [first, end), with
// the rule's figure against its limit: why a tone mixed in was not listed.
std::string drops_near(const Detection& d, double hz, int64_t first, int64_t end, int32_t rate)
{
    std::string s;
    for (const Dropped& x : d.dropped)
        if (std::fabs(x.hz - hz) <= d.resolution_hz && x.first < end && x.end > first)
            s += fmt::format("{}{} {:.1f} Hz {:.2f}-{:.2f} s ({:.2f} against {:.2f})", s.empty() ? "" : "; ",
                             drop_reason_name(x.reason), x.hz, double(x.first) / rate, double(x.end) / rate,
                             x.figure, x.limit);
    return s.empty() ? "no candidate" : s;
}

void score_clean(const Recording& r, const Audio& clip, const DetectParams& params, Score* s)
{
    const int64_t frames = clip.frames();
    const auto clean = [&](const Detection& d) {
        return std::all_of(d.tones.begin(), d.tones.end(), [&](const Tone& t) { return own_tone(r, t); });
    };
    const Detection whole = detect_tones(clip, 0, frames, params);
    s->whole.add(clean(whole));
    if (!clean(whole)) s->misses.push_back(fmt::format("{} (no tone mixed in): {}", r.path, listing(whole, clip.rate)));
    const int64_t region = int64_t(kRegionSeconds * clip.rate);
    for (int64_t at = 0; at + region <= frames; at += int64_t(kRegionStep * clip.rate)) {
        const Detection d = detect_tones(clip, at, region, params);
        s->regions.add(clean(d));
        if (!clean(d))
            s->misses.push_back(fmt::format("{} (no tone mixed in) from {:.0f} s for {:.0f} s: {}", r.path,
                                            double(at) / clip.rate, kRegionSeconds, listing(d, clip.rate)));
    }
}

// The settings the tool suggests for the found tone, and the cut they leave over the
// tone's whole extent: the clip is rendered with and without the tone, and what the
// tone added after processing is compared with the tone itself. A pair's tone is both
// of its tones, which one notch at their mean must cut; its cuts are counted apart.
void score_cut(FilterTable& table, const Audio& clip, const MixCase& c, const Tone& found, const std::string& what,
               bool heard, Score* s)
{
    const bool pair = c.kind == CaseKind::pair;
    MixCase fundamental = c;
    if (!pair) fundamental.partials.resize(1);
    const Audio target = mix_case(clip, fundamental);
    Fit fit;
    try {
        fit = fit_settings(table, target, target.frames(), found, kFps, 1);
    } catch (const ToolError& e) {
        s->no_settings.add(heard, true);
        s->misses.push_back(fmt::format("{}: no settings ({})", what, error_sentence(e)));
        return;
    }
    s->no_settings.add(heard, false);
    const Audio without = run_plugin(table, clip, fit.settings, fit.placement, false);
    const Audio with = run_plugin(table, target, fit.settings, fit.placement, false);
    const double cut = tone_cut_db(target, clip, with, without, c.first, c.end);
    const bool warned = fit.too_long || fit.starts_too_early;
    const bool shallow = cut < kShallowCutDb && !warned;
    if (pair) {
        s->pair_shallow.add(heard, shallow);
        if (shallow)
            s->misses.push_back(fmt::format("{}: pair cut {:.1f} dB over its whole extent, no warning", what, cut));
        return;
    }
    s->cuts[heard].push_back(cut);
    s->shallow.add(heard, shallow);
    s->warned_shallow.add(heard, cut < kShallowCutDb && warned);
    if (cut < kShallowCutDb && warned)
        s->warned.push_back(fmt::format("{}: cut {:.1f} dB over its whole extent; warned: {}{}", what, cut,
                                        fit.too_long ? "outlasts one stretch " : "",
                                        fit.starts_too_early ? "starts too early" : ""));
    if (shallow)
        s->misses.push_back(fmt::format("{}: cut {:.1f} dB over its whole extent, no warning; stretch from {:.2f} s, "
                                        "found {:.2f}-{:.2f} s",
                                        what, cut, double(fit.stretch_first) / clip.rate,
                                        double(found.first) / clip.rate, double(found.end) / clip.rate));
}

// Whether a listener hears the case: each tone to be listed, alone (a pair's two
// together, a hum's or a buzz's fundamental), against the programme alone.
bool heard(const Audio& clip, const MixCase& c)
{
    Audio silence = clip;
    std::fill(silence.samples.begin(), silence.samples.end(), int16_t(0));
    for (int i = 0; i < c.targets; ++i) {
        MixCase alone = c;
        alone.partials = {c.partials[size_t(i)]};
        if (c.kind == CaseKind::pair) alone.partials = c.partials;
        const Partial& p = c.partials[size_t(i)];
        if (!audibility(mix_case(silence, alone), clip, p.hz, partial_first(c, p), partial_end(c, p)).audible())
            return false;
    }
    return true;
}

// The entries listed at whole multiples of `hz` over [first, end): a buzz listed once
// is one (its family), not one per harmonic. A case is one entry when its fundamental
// is listed and nothing else on its series.
int entries_on_series(const Detection& d, const Recording& r, double hz, int64_t first, int64_t end)
{
    int n = 0;
    for (const Tone& t : d.tones) {
        const double order = std::round(t.hz / hz);
        if (order >= 1 && std::fabs(t.hz - order * hz) <= d.resolution_hz && t.first < end && t.end > first &&
            !own_tone(r, t))
            ++n;
    }
    return n;
}

void score_case(FilterTable* table, const Recording& r, const Audio& clip, const MixCase& c, const DetectParams& params,
                Score* s)
{
    const Audio mixed = mix_case(clip, c);
    Detection d = detect_tones(mixed, 0, mixed.frames(), params);
    // A sine over full scale stands for a floating-point file: the tool's conversion
    // clipped it, as the mix does, and leaves out the harmonics that made. A clipped sine
    // stands for an integer file recorded clipped: its harmonics are its own.
    if (c.kind == CaseKind::over_full_scale) leave_out_conversion_harmonics(&d, source_of(mixed));
    const std::string what = fmt::format("{} + {}", r.path, c.describe(clip.rate));
    const bool audible = heard(clip, c);
    const std::string stratum = audible ? "audible" : "masked";
    if (c.kind != CaseKind::single && c.kind != CaseKind::hum && c.kind != CaseKind::pair) {
        bool all = true;
        for (int i = 0; i < c.targets; ++i) {
            const Partial& p = c.partials[size_t(i)];
            all = all && match(d, p.hz, partial_first(c, p), partial_end(c, p)) != nullptr;
        }
        const bool key = c.label.rfind("telephone", 0) == 0;
        Strata& row = c.kind == CaseKind::together    ? (key ? s->keys : s->together)
                      : c.kind == CaseKind::with_note ? s->with_note
                      : c.kind == CaseKind::drift     ? s->drift
                      : c.kind == CaseKind::buzz      ? s->buzz
                      : c.kind == CaseKind::clipped   ? s->clipped
                                                      : s->over;
        row.add(audible, all);
        if (!all) {
            // Why each tone of the case that is not listed was dropped.
            std::string why;
            for (int i = 0; i < c.targets; ++i) {
                const Partial& p = c.partials[size_t(i)];
                if (!match(d, p.hz, partial_first(c, p), partial_end(c, p)))
                    why += fmt::format("{}{:.1f} Hz: {}", why.empty() ? "" : "; ", p.hz,
                                       drops_near(d, p.hz, partial_first(c, p), partial_end(c, p), clip.rate));
            }
            s->misses.push_back(
                fmt::format("{} ({}): not listed; reported {}; dropped {}", what, stratum, listing(d, clip.rate), why));
        }
        if (c.kind == CaseKind::buzz || c.kind == CaseKind::clipped || c.kind == CaseKind::over_full_scale) {
            const int n = entries_on_series(d, r, c.partials[0].hz, c.first, c.end);
            (c.kind == CaseKind::buzz      ? s->buzz_once
             : c.kind == CaseKind::clipped ? s->clipped_once
                                           : s->over_once)
                .add(audible, all && n == 1);
            const Tone* t = match(d, c.partials[0].hz, c.first, c.end);
            if (c.kind == CaseKind::over_full_scale) s->over_clean.add(audible, t && t->harmonics.empty());
            if (c.kind == CaseKind::clipped) s->clipped_own.add(audible, t && !t->harmonics.empty());
            if (all && n != 1)
                s->misses.push_back(fmt::format("{} ({}): {} entries on its series; reported {}", what, stratum, n,
                                                listing(d, clip.rate)));
        }
        return;
    }
    // A pair sounds as one tone at the middle of its two.
    const double hz = c.kind == CaseKind::pair ? (c.partials[0].hz + c.partials[1].hz) / 2 : c.partials[0].hz;
    const Tone* t = match(d, hz, c.first, c.end);
    Strata& count = c.kind == CaseKind::single ? s->single : c.kind == CaseKind::hum ? s->hum : s->pair;
    count.add(audible, t != nullptr);
    if (c.kind == CaseKind::single) s->first.add(audible, t != nullptr && t == &d.tones.front());
    if (!t) {
        s->misses.push_back(fmt::format("{} ({}): not listed; reported {}; dropped {}", what, stratum,
                                        listing(d, clip.rate),
                                        drops_near(d, c.partials[0].hz, c.first, c.end, clip.rate)));
        return;
    }
    if (c.kind == CaseKind::single && t != &d.tones.front()) {
        // What the ear ranks above it, with each figure the ranking went by.
        std::string above;
        for (const Tone* u = &d.tones.front(); u != t; ++u)
            above += fmt::format("{}{:.1f} Hz {:.1f} dBFS {:.2f}-{:.2f} s ({:.1f} dB heard)", above.empty() ? "" : "; ",
                                 u->hz, u->level_dbfs, double(u->first) / clip.rate, double(u->end) / clip.rate,
                                 u->audibility_db);
        s->misses.push_back(fmt::format("{} ({}): listed {} of {}, at {:.1f} dB heard; above it {}", what, stratum,
                                        t - &d.tones.front() + 1, d.tones.size(), t->audibility_db, above));
    }
    const double reach = kExtentS * clip.rate;
    const bool ends = std::fabs(double(t->first - c.first)) <= reach && std::fabs(double(t->end - c.end)) <= reach;
    if (c.kind == CaseKind::pair) {
        int entries = 0;
        for (const Tone& u : d.tones)
            entries += std::fabs(u.hz - hz) <= d.resolution_hz && u.first < c.end && u.end > c.first;
        s->pair_once.add(audible, entries == 1);
        s->pair_extent.add(audible, ends);
        if (entries != 1)
            s->misses.push_back(
                fmt::format("{} ({}): {} entries; reported {}", what, stratum, entries, listing(d, clip.rate)));
        if (!ends)
            s->misses.push_back(fmt::format("{} ({}): pair extent {:.3f}-{:.3f} s", what, stratum,
                                            double(t->first) / clip.rate, double(t->end) / clip.rate));
        if (table) score_cut(*table, clip, c, *t, what, audible, s);
        return;
    }
    s->extent.add(audible, ends);
    if (!ends)
        s->misses.push_back(fmt::format("{} ({}): extent {:.3f}-{:.3f} s", what, stratum, double(t->first) / clip.rate,
                                        double(t->end) / clip.rate));
    if (table && c.kind == CaseKind::single) score_cut(*table, clip, c, *t, what, audible, s);
}

// Each half in three columns: every tone, those a listener hears, those masked.
void print_table(const std::vector<std::string>& halves, const std::map<std::string, Score>& scores)
{
    fmt::print("\n| |");
    for (const std::string& h : halves)
        fmt::print(" {0} ({1} recordings) | {0}: audible | {0}: masked |", h, scores.at(h).recordings);
    fmt::print("\n|---|");
    for (size_t i = 0; i < 3 * halves.size(); ++i) fmt::print("---|");
    fmt::print("\n");
    const auto row = [&](const char* name, Strata Score::*field) {
        const bool any = std::any_of(halves.begin(), halves.end(),
                                     [&](const std::string& h) { return (scores.at(h).*field).all().all > 0; });
        if (!any) return;
        fmt::print("| {} |", name);
        for (const std::string& h : halves) {
            const Strata& x = scores.at(h).*field;
            fmt::print(" {} | {} | {} |", x.all().text(), x.audible.text(), x.masked.text());
        }
        fmt::print("\n");
    };
    const auto plain = [&](const char* name, Count Score::*field) {
        fmt::print("| {} |", name);
        for (const std::string& h : halves) fmt::print(" {} | | |", (scores.at(h).*field).text());
        fmt::print("\n");
    };
    row("single tones found", &Score::single);
    row("single tones listed first", &Score::first);
    row("hum fundamentals found", &Score::hum);
    row("beating pairs found", &Score::pair);
    row("beating pairs listed as one entry", &Score::pair_once);
    row("beating pairs: extent within 1/15 s", &Score::pair_extent);
    row("beating pairs: the cut of both under 20 dB, no warning", &Score::pair_shallow);
    row("extent within 1/15 s (single tones and hums found)", &Score::extent);
    row("telephone keys: both tones listed", &Score::keys);
    row("ringback, busy, information signal: every tone listed", &Score::together);
    row("beep switched on with a note: listed", &Score::with_note);
    row("whine drifting through the clip: listed", &Score::drift);
    row("square or sawtooth buzz: fundamental listed", &Score::buzz);
    row("square or sawtooth buzz: one entry on its series", &Score::buzz_once);
    row("clipped sine: listed", &Score::clipped);
    row("clipped sine: one entry on its series", &Score::clipped_once);
    row("clipped sine (an integer file): its harmonics listed", &Score::clipped_own);
    row("sine over full scale (a float file): listed", &Score::over);
    row("sine over full scale (a float file): one entry on its series", &Score::over_once);
    row("sine over full scale (a float file): none of the conversion's harmonics listed", &Score::over_clean);
    plain("tone-free whole clips clean", &Score::whole);
    plain("tone-free 3 s regions clean", &Score::regions);
    row("suggestions cutting under 20 dB over the whole extent, no warning", &Score::shallow);
    row("suggestions cutting under 20 dB over the whole extent, with a warning", &Score::warned_shallow);
    row("found single tones the fit gave no settings for", &Score::no_settings);
    const auto median = [](std::vector<double> c) {
        std::sort(c.begin(), c.end());
        return c.empty() ? std::string("-") : fmt::format("{:.1f} dB, {:.1f} dB", c[c.size() / 2], c.front());
    };
    fmt::print("| median cut over the whole extent, lowest |");
    for (const std::string& h : halves) {
        const Score& x = scores.at(h);
        std::vector<double> all = x.cuts[0];
        all.insert(all.end(), x.cuts[1].begin(), x.cuts[1].end());
        fmt::print(" {} | {} | {} |", median(all), median(x.cuts[1]), median(x.cuts[0]));
    }
    fmt::print("\n");
}

int check_split(const Corpus& corpus)
{
    const std::vector<std::string> rule = split_halves(corpus.recordings, corpus.seed);
    int differ = 0;
    for (size_t i = 0; i < rule.size(); ++i) {
        fmt::print("{}\t{}\t{}\n", rule[i], corpus.recordings[i].kind, corpus.recordings[i].path);
        if (rule[i] != corpus.recordings[i].half) ++differ;
    }
    if (differ) fmt::print(stderr, "{} recordings lie in another half than the rule puts them\n", differ);
    return differ ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string corpus_path = TULM_CORPUS, plugin, only, half;
    bool verbose = false, fit = true, split = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--corpus" && i + 1 < argc) corpus_path = argv[++i];
        else if (a == "--plugin" && i + 1 < argc) plugin = argv[++i];
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else if (a == "--half" && i + 1 < argc) half = argv[++i];
        else if (a == "--verbose") verbose = true;
        else if (a == "--no-fit") fit = false;
        else if (a == "--split") split = true;
        else {
            fmt::print(stderr, "detect_corpus: unknown option '{}'\n", a);
            return 2;
        }
    }
    if (!half.empty() && half != "held-out" && half != "tuning") {
        fmt::print(stderr, "detect_corpus: --half takes held-out or tuning\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        const Corpus corpus = read_corpus(corpus_path);
        if (split) return check_split(corpus);
        PluginSession session(plugin.empty() ? TULM_MODULE : plugin);
        const std::vector<std::string> halves =
            half.empty() ? std::vector<std::string>{"held-out", "tuning"} : std::vector<std::string>{half};
        std::map<std::string, Score> scores;
        for (const std::string& h : halves) scores[h];
        int missing = 0, tuning = 0, tuning_index = 0;
        for (const Recording& r : corpus.recordings) tuning += r.half == "tuning";
        // The detector's tuned values, one place to sweep them from.
        const DetectParams params;
        for (const Recording& r : corpus.recordings) {
            // The user cases go round the tuning half by its file order, whichever runs.
            const int index = r.half == "tuning" ? tuning_index++ : -1;
            if (!scores.count(r.half) || r.path.find(only) == std::string::npos) continue;
            Audio clip;
            try {
                clip = load_clip(r);
            } catch (const ToolError& e) {
                fmt::print(stderr, "skipped ({}): {}\n", r.package, e.what());
                ++missing;
                continue;
            }
            Score& s = scores[r.half];
            ++s.recordings;
            fmt::print(stderr, "{} {}: {:.1f} s\n", r.half, r.path, double(clip.frames()) / clip.rate);
            score_clean(r, clip, params, &s);
            std::vector<MixCase> cases = make_cases(clip, r, corpus.seed);
            if (index >= 0) {
                const std::vector<MixCase> more = make_user_cases(clip, r, corpus.seed, index, tuning);
                cases.insert(cases.end(), more.begin(), more.end());
            }
            for (const MixCase& c : cases) score_case(fit ? &session.table() : nullptr, r, clip, c, params, &s);
        }
        if (missing) fmt::print(stderr, "{} recordings missing: scripts/install-deps.sh corpus installs them\n", missing);
        print_table(halves, scores);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fmt::print("\n{:.0f} s{}\n", seconds, fit ? "" : " (without the settings)");
        if (verbose)
            for (const std::string& h : halves) {
                fmt::print("\n{} misses ({}):\n", h, scores[h].misses.size());
                for (const std::string& m : scores[h].misses) fmt::print("- {}\n", m);
                fmt::print("\n{} shallow cuts with a warning ({}):\n", h, scores[h].warned.size());
                for (const std::string& m : scores[h].warned) fmt::print("- {}\n", m);
            }
    } catch (const ToolError& e) {
        fmt::print(stderr, "detect_corpus: {}\n", e.what());
        return 1;
    }
    return 0;
}
