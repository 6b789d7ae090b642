#include "corpus.h"

#include <fftw3.h>
#include <fmt/format.h>
#include <fnmatch.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "tool/analysis/tool_error.h"
#include "tool/io/audio_file.h"

namespace {

std::vector<std::string> split_fields(const std::string& line, char sep)
{
    std::vector<std::string> out;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, sep)) out.push_back(field);
    if (!line.empty() && line.back() == sep) out.emplace_back();
    return out;
}

double number(const std::string& text, const std::string& where)
{
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) throw ToolError(where + ": '" + text + "' is not a number");
    return v;
}

constexpr const char* kColumns[] = {"package", "path", "kind", "language", "from_s", "seconds",
                                    "tuned", "half", "own_hz", "notes"};

} // namespace

uint64_t mix64(uint64_t x)
{
    // splitmix64's finaliser: every input bit reaches every output bit.
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

uint64_t hash_text(const std::string& s)
{
    uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
    for (unsigned char c : s) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

double Draw::uniform()
{
    state = mix64(state);
    return double(state >> 11) * 0x1.0p-53;
}

Corpus read_corpus(const std::string& path)
{
    std::ifstream in(path);
    if (!in) throw ToolError("cannot read the corpus file " + path);
    Corpus corpus;
    bool header = false, seeded = false;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::string where = fmt::format("{} line {}", path, n);
        if (line.empty()) continue;
        if (line[0] == '#') {
            const std::vector<std::string> f = split_fields(line, '\t');
            if (f.size() == 2 && f[0] == "# seed") {
                char* end = nullptr;
                corpus.seed = std::strtoull(f[1].c_str(), &end, 10);
                if (f[1].empty() || *end != '\0') throw ToolError(where + ": the seed '" + f[1] + "' is not a whole number");
                seeded = true;
            }
            continue;
        }
        const std::vector<std::string> f = split_fields(line, '\t');
        if (f.size() != std::size(kColumns)) throw ToolError(fmt::format("{}: {} fields, not {}", where, f.size(), std::size(kColumns)));
        if (!header) {
            for (size_t i = 0; i < f.size(); ++i)
                if (f[i] != kColumns[i]) throw ToolError(fmt::format("{}: column {} is '{}', not '{}'", where, i + 1, f[i], kColumns[i]));
            header = true;
            continue;
        }
        Recording r;
        r.package = f[0];
        r.path = f[1];
        r.kind = f[2];
        r.language = f[3];
        r.from_s = number(f[4], where);
        r.seconds = number(f[5], where);
        if (f[6] != "yes" && f[6] != "no") throw ToolError(where + ": tuned must be yes or no");
        r.tuned = f[6] == "yes";
        r.half = f[7];
        if (r.half != "tuning" && r.half != "held-out" && r.half != "-")
            throw ToolError(where + ": half must be tuning, held-out or -");
        if (f[8] != "-")
            for (const std::string& hz : split_fields(f[8], ',')) r.own_hz.push_back(number(hz, where));
        r.notes = f[9];
        if (r.path.empty() || r.path[0] != '/' || r.seconds <= 0 || r.from_s < 0 || r.kind.empty())
            throw ToolError(where + ": needs an absolute path, a kind and a positive length");
        corpus.recordings.push_back(r);
    }
    if (!seeded) throw ToolError(path + " has no '# seed' line");
    return corpus;
}

std::vector<std::string> split_halves(const std::vector<Recording>& recordings, uint64_t seed)
{
    std::vector<std::string> half(recordings.size());
    std::map<std::string, std::vector<size_t>> by_kind;
    for (size_t i = 0; i < recordings.size(); ++i) by_kind[recordings[i].kind].push_back(i);
    for (auto& [kind, members] : by_kind) {
        int tuning = 0, held_out = 0;
        std::vector<std::pair<uint64_t, size_t>> order;
        for (size_t i : members) {
            if (recordings[i].tuned) {
                half[i] = "tuning";
                ++tuning;
            } else {
                order.emplace_back(mix64(seed ^ hash_text(recordings[i].path)), i);
            }
        }
        // Ties in the hash fall back to the path, so the file's order never matters.
        std::sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : recordings[a.second].path < recordings[b.second].path;
        });
        for (const auto& [key, i] : order) {
            const bool to_held_out = held_out <= tuning;
            half[i] = to_held_out ? "held-out" : "tuning";
            (to_held_out ? held_out : tuning) += 1;
        }
    }
    return half;
}

Audio load_clip(const Recording& r)
{
    const size_t star = r.path.find('*');
    if (star == std::string::npos) {
        AudioReader reader(r.path);
        const int64_t first = int64_t(std::lround(r.from_s * reader.rate()));
        const int64_t end = std::min(reader.frames(), first + int64_t(std::lround(r.seconds * reader.rate())));
        if (end <= first) throw ToolError(r.path + " ends before " + std::to_string(r.from_s) + " s");
        Audio a = read_region(reader, first, end);
        a.first_frame = 0;
        return a;
    }
    // Spoken words: the files the pattern names, in name order.
    const std::filesystem::path pattern(r.path);
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(pattern.parent_path(), ec))
        if (fnmatch(pattern.filename().c_str(), e.path().filename().c_str(), 0) == 0) names.push_back(e.path());
    if (ec || names.empty()) throw ToolError("no recordings match " + r.path);
    std::sort(names.begin(), names.end());
    Audio clip;
    for (const std::string& name : names) {
        const Audio w = read_audio(name);
        if (clip.rate == 0) {
            clip.rate = w.rate;
            clip.channels = w.channels;
        }
        if (w.rate != clip.rate || w.channels != clip.channels || w.frames() < int64_t(0.6 * w.rate)) continue;
        clip.samples.insert(clip.samples.end(), w.samples.begin(), w.samples.end());
        clip.samples.insert(clip.samples.end(), size_t(0.15 * w.rate) * w.channels, 0);
        if (clip.frames() >= r.seconds * clip.rate) break;
    }
    clip.samples.resize(std::min(clip.samples.size(), size_t(r.seconds * clip.rate) * size_t(clip.channels)));
    return clip;
}

double band_level_dbfs(const Audio& audio, double hz, int64_t first, int64_t end)
{
    const int64_t n = end - first;
    if (n < 64) throw ToolError("a band level needs at least 64 frames");
    int64_t m = 1;
    while (m < n) m *= 2;
    std::vector<double> w(static_cast<size_t>(n));
    double energy = 0;
    for (int64_t j = 0; j < n; ++j) {
        w[size_t(j)] = 0.5 - 0.5 * std::cos(2 * M_PI * (j + 0.5) / double(n));
        energy += w[size_t(j)] * w[size_t(j)];
    }
    double* in = fftw_alloc_real(size_t(m));
    fftw_complex* out = fftw_alloc_complex(size_t(m / 2 + 1));
    fftw_plan plan = fftw_plan_dft_r2c_1d(int(m), in, out, FFTW_ESTIMATE);
    // The narrowest band counted is ±15 Hz (the ear's own bands are wider everywhere).
    const double half_band = std::max(critical_band_hz(hz) / 2, 15.0);
    const int64_t lo = std::max<int64_t>(1, int64_t(std::ceil((hz - half_band) * m / audio.rate)));
    const int64_t hi = std::min<int64_t>(m / 2 - 1, int64_t(std::floor((hz + half_band) * m / audio.rate)));
    double power = 0;
    for (int32_t k = 0; k < audio.channels; ++k) {
        std::fill(in, in + m, 0.0);
        for (int64_t j = 0; j < n; ++j)
            in[j] = w[size_t(j)] * audio.samples[size_t((first + j) * audio.channels + k)] / 32767.0;
        fftw_execute(plan);
        for (int64_t b = lo; b <= hi; ++b) power += out[b][0] * out[b][0] + out[b][1] * out[b][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(in);
    fftw_free(out);
    // Parseval over the padded transform: one side of the band holds half its power;
    // the mean square of the band, doubled, is its level against a full-scale sine.
    const double mean_square = 2 * power / (double(m) * energy * audio.channels);
    return 10 * std::log10(std::max(2 * mean_square, 1e-30));
}

std::string MixCase::describe(int32_t rate) const
{
    std::string s;
    if (kind == CaseKind::single || kind == CaseKind::hum || kind == CaseKind::pair) {
        const char* what = kind == CaseKind::hum ? "hum" : kind == CaseKind::pair ? "pair" : "tone";
        s = fmt::format("{} {:.1f} Hz", what, partials[0].hz);
        if (kind == CaseKind::hum) s += fmt::format(" x{}", partials.size());
        if (kind == CaseKind::pair) s += fmt::format(" + {:.1f} Hz", partials[1].hz);
    } else {
        s = label;
        for (int i = 0; i < targets; ++i) s += fmt::format("{}{:.1f} Hz", i ? " + " : " ", partials[size_t(i)].hz);
        if (kind == CaseKind::with_note)
            s += fmt::format(" (note {:.1f} Hz {:.0f} ms after)", partials[1].hz,
                             1000.0 * double(partials[1].from) / rate);
        if (kind == CaseKind::clipped) s += fmt::format(" (cut flat at {:.1f} dBFS)", clip_dbfs);
        if (kind == CaseKind::buzz) s += fmt::format(" x{}", partials.size());
    }
    s += fmt::format(" at {:.1f} dBFS ({:+.1f} dB over its band), {:.2f} s to {:.2f} s, {:.0f} ms ramps",
                     level_dbfs, over_band_db, double(first) / rate, double(end) / rate,
                     1000.0 * ramp / rate);
    if (!role.empty()) s += ", " + role;
    return s;
}

namespace {

double log_uniform(Draw& d, double lo, double hi)
{
    return lo * std::pow(hi / lo, d.uniform());
}

bool near_own(const Recording& r, double hz)
{
    for (double own : r.own_hz)
        for (int h = 1; h <= 5; ++h)
            if (std::fabs(hz - own) < 15 || std::fabs(hz * h - own) < 15) return true;
    return false;
}

double tone_hz(Draw& d, const Recording& r, double lo, double hi)
{
    for (;;) {
        const double hz = log_uniform(d, lo, hi);
        if (!near_own(r, hz)) return hz;
    }
}

// Where a case sounds: `role` "edge" starts it in the clip's first second or ends it in
// its last (now and then sounding from the very start or to the very end).
void place(Draw& d, MixCase* c, int64_t frames, int32_t rate, double shortest_s, double longest_s)
{
    const double clip_s = double(frames) / rate;
    const double length = std::min(d.between(shortest_s, longest_s), clip_s - 0.2);
    double start;
    if (c->role == "edge") {
        const bool at_start = d.uniform() < 0.5;
        const double inside = d.uniform() < 0.25 ? 0.0 : d.between(0.0, std::min(1.0, clip_s - length));
        start = at_start ? inside : clip_s - length - inside;
    } else {
        start = d.between(0.0, clip_s - length);
    }
    c->first = std::max<int64_t>(0, int64_t(std::lround(start * rate)));
    c->end = std::min(frames, c->first + int64_t(std::lround(length * rate)));
    c->ramp = int64_t(std::lround(d.between(0.005, 0.050) * rate));
}

// Sets the case's level from the programme's level in the band around its first
// partial, and each partial's relative to it.
void set_level(Draw& d, const Audio& clip, MixCase* c, const std::vector<double>& relative_db)
{
    const double band = band_level_dbfs(clip, c->partials[0].hz, c->first, c->end);
    c->over_band_db = d.between(kFaintestOverBandDb, kLoudestOverBandDb);
    c->level_dbfs = std::clamp(band + c->over_band_db, kQuietestDbfs, kLoudestDbfs);
    c->over_band_db = c->level_dbfs - band;
    for (size_t i = 0; i < c->partials.size(); ++i) {
        c->partials[i].level_dbfs = c->level_dbfs + relative_db[i];
        c->partials[i].phase = d.between(0, 2 * M_PI);
    }
}

} // namespace

std::vector<MixCase> make_cases(const Audio& clip, const Recording& r, uint64_t seed)
{
    Draw d{mix64(seed ^ hash_text(r.path))};
    const int64_t frames = clip.frames();
    const double top_hz = std::min(16000.0, 0.45 * clip.rate);
    const double clip_s = double(frames) / clip.rate;
    std::vector<MixCase> cases;
    const char* roles[] = {"", "", "edge", "long"};
    for (const char* role : roles) {
        MixCase c;
        c.role = role;
        if (c.role == "long" && clip_s < 4.5) c.role = "";
        c.partials = {Partial{tone_hz(d, r, 60, top_hz)}};
        if (c.role == "long") place(d, &c, frames, clip.rate, 3.2, std::min(6.0, clip_s - 0.4));
        else place(d, &c, frames, clip.rate, 0.8, std::min(2.8, clip_s - 0.4));
        set_level(d, clip, &c, {0.0});
        cases.push_back(c);
    }
    {
        MixCase c;
        c.kind = CaseKind::hum;
        const double mains = d.uniform();
        // Half of them mains hum, at 50 or 60 Hz.
        double f0 = mains < 0.25 ? 50.0 : mains < 0.5 ? 60.0 : 0.0;
        if (f0 == 0 || near_own(r, f0)) f0 = tone_hz(d, r, 60, 400);
        const int harmonics = 2 + int(d.uniform() * 4);  // 2 to 5
        std::vector<double> relative;
        for (int h = 1; h <= harmonics; ++h) {
            c.partials.push_back(Partial{f0 * h});
            relative.push_back(h == 1 ? 0.0 : relative.back() - d.between(2, 8));
        }
        place(d, &c, frames, clip.rate, 0.8, std::min(2.8, clip_s - 0.4));
        set_level(d, clip, &c, relative);
        cases.push_back(c);
    }
    {
        MixCase c;
        c.kind = CaseKind::pair;
        const double f = tone_hz(d, r, 60, top_hz);
        c.partials = {Partial{f}, Partial{f + d.between(0.2, 1.0)}};
        place(d, &c, frames, clip.rate, 1.2, std::min(2.8, clip_s - 0.4));
        // The pair's power is the sum of both; each alone lies 3 dB under it.
        set_level(d, clip, &c, {-3.0, -3.0 - d.between(0, 2)});
        cases.push_back(c);
    }
    return cases;
}

int64_t partial_first(const MixCase& c, const Partial& p) { return c.first + p.from; }

int64_t partial_end(const MixCase& c, const Partial& p) { return p.to < 0 ? c.end : std::min(c.end, c.first + p.to); }

namespace {

// Raised-cosine ramps at both ends of [first, end), where they lie inside the clip.
double ramp_gate(int64_t s, int64_t first, int64_t end, int64_t frames, int64_t ramp)
{
    double gate = 1;
    if (first > 0 && s - first < ramp) gate = 0.5 - 0.5 * std::cos(M_PI * double(s - first) / ramp);
    if (end < frames && end - s < ramp) gate = 0.5 - 0.5 * std::cos(M_PI * double(end - s) / ramp);
    return gate;
}

}  // namespace

Audio mix_case(const Audio& clip, const MixCase& c)
{
    Audio a = clip;
    const int64_t frames = a.frames();
    const double flat = 32767 * std::pow(10.0, c.clip_dbfs / 20);
    for (int64_t s = c.first; s < c.end; ++s) {
        const double gate = ramp_gate(s, c.first, c.end, frames, c.ramp);
        // Partials held through the case share its ramps; the others (a note's, a
        // sequence's, a drifting one) are summed each with its own.
        double held = 0, own = 0;
        for (const Partial& p : c.partials) {
            const double amplitude = std::pow(10.0, p.level_dbfs / 20);
            if (p.from == 0 && p.to < 0 && p.decay_s == 0 && p.drift_hz_per_s == 0) {
                held += amplitude * std::sin(2 * M_PI * p.hz * double(s) / a.rate + p.phase);
                continue;
            }
            const int64_t pf = partial_first(c, p), pe = partial_end(c, p);
            if (s < pf || s >= pe) continue;
            const double t = double(s - pf) / a.rate, middle = 0.5 * double(pe - pf) / a.rate;
            const double phase =
                2 * M_PI * (p.hz * double(s) / a.rate + 0.5 * p.drift_hz_per_s * (t - middle) * (t - middle));
            const double decay = p.decay_s > 0 ? std::exp(-t / p.decay_s) : 1.0;
            own += ramp_gate(s, pf, pe, frames, c.ramp) * decay * amplitude * std::sin(phase + p.phase);
        }
        double v = 32767 * gate * held + 32767 * own;
        if (c.kind == CaseKind::clipped) v = std::clamp(v, -flat, flat);
        for (int32_t k = 0; k < a.channels; ++k) {
            int16_t& x = a.samples[size_t(s * a.channels + k)];
            x = int16_t(std::clamp<double>(std::lrint(x + v), -32768, 32767));
        }
    }
    return a;
}

namespace {

struct UserCase {
    CaseKind kind;
    std::string label;
    std::vector<double> hz;  // the tones' frequencies where the case fixes them
    double figure = 0;       // a note's delay (s), a drift (Hz/s), a clipping depth or a level (dB)
};

std::vector<UserCase> user_table()
{
    std::vector<UserCase> v;
    const double low[] = {697, 770, 852, 941}, high[] = {1209, 1336, 1477, 1633};
    const char* keys[4][4] = {{"1", "2", "3", "A"}, {"4", "5", "6", "B"}, {"7", "8", "9", "C"}, {"*", "0", "#", "D"}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            v.push_back({CaseKind::together, std::string("telephone key ") + keys[i][j], {low[i], high[j]}});
    v.push_back({CaseKind::together, "ringback", {440, 480}});
    v.push_back({CaseKind::together, "busy", {480, 620}});
    // The information signal plays its three in turn for 274 to 380 ms each, under the
    // shortest tone listed; held together they ask what a chord of steady tones asks.
    v.push_back({CaseKind::together, "information signal", {913.8, 1370.6, 1776.7}});
    for (double delay : {0.0, 0.015, 0.030}) v.push_back({CaseKind::with_note, "beep with a note", {}, delay});
    for (double rate : {0.01, 0.03, 0.1}) v.push_back({CaseKind::drift, "drifting whine", {}, rate});
    for (int i = 0; i < 2; ++i) v.push_back({CaseKind::buzz, "square buzz", {}, 0});
    for (int i = 0; i < 2; ++i) v.push_back({CaseKind::buzz, "sawtooth buzz", {}, 0});
    for (double depth : {3.0, 12.0}) v.push_back({CaseKind::clipped, "clipped sine", {}, depth});
    for (double level : {3.0, 12.0}) v.push_back({CaseKind::over_full_scale, "sine over full scale", {}, level});
    return v;
}

MixCase user_case(Draw& d, const Audio& clip, const Recording& r, const UserCase& u)
{
    const int64_t frames = clip.frames();
    const double clip_s = double(frames) / clip.rate, top_hz = std::min(16000.0, 0.45 * clip.rate);
    const double longest = std::min(2.8, clip_s - 0.4);
    MixCase c;
    c.kind = u.kind;
    c.label = u.label;
    std::vector<double> relative;
    switch (u.kind) {
    case CaseKind::together:
        for (double hz : u.hz) c.partials.push_back(Partial{hz});
        c.targets = int(u.hz.size());
        // A telephone's high tone sounds a little louder than its low one.
        relative.assign(u.hz.size(), 0.0);
        if (u.label.rfind("telephone", 0) == 0) relative[1] = 2;
        place(d, &c, frames, clip.rate, 1.2, longest);
        break;
    case CaseKind::with_note: {
        const double beep = tone_hz(d, r, 300, 4000);
        double f0 = 0;
        for (bool clear = false; !clear;) {
            f0 = log_uniform(d, 110, 660);
            clear = true;
            for (int h = 1; h <= 6; ++h) clear = clear && std::fabs(beep - h * f0) > 30;
        }
        c.partials.push_back(Partial{beep});
        relative.push_back(0);
        place(d, &c, frames, clip.rate, 1.0, longest);
        c.ramp = int64_t(std::lround(0.005 * clip.rate));
        const double decay = d.between(0.4, 1.5);
        for (int h = 1; h <= 6; ++h) {
            Partial p{h * f0};
            p.from = int64_t(std::lround(u.figure * clip.rate));
            p.decay_s = decay / h;
            c.partials.push_back(p);
            relative.push_back(6 - 4.0 * (h - 1));
        }
        break;
    }
    case CaseKind::drift: {
        // Through the whole clip (10 s at most), so it moves 0.1 to 1 Hz in all.
        Partial p{tone_hz(d, r, 200, std::min(8000.0, top_hz))};
        p.drift_hz_per_s = d.uniform() < 0.5 ? -u.figure : u.figure;
        c.partials.push_back(p);
        relative.push_back(0);
        c.first = 0;
        c.end = frames;
        c.ramp = int64_t(std::lround(0.005 * clip.rate));
        break;
    }
    case CaseKind::buzz: {
        const double f0 = tone_hz(d, r, 50, 200);
        const bool square = u.label.rfind("square", 0) == 0;
        for (int n = 1; n * f0 < top_hz; n += square ? 2 : 1) {
            c.partials.push_back(Partial{n * f0});
            relative.push_back(-20 * std::log10(double(n)));
        }
        place(d, &c, frames, clip.rate, 1.2, longest);
        break;
    }
    case CaseKind::clipped:
    case CaseKind::over_full_scale:
        c.partials.push_back(Partial{tone_hz(d, r, 200, 3000)});
        relative.push_back(0);
        place(d, &c, frames, clip.rate, 1.2, longest);
        break;
    default:
        break;
    }
    set_level(d, clip, &c, relative);
    if (u.kind == CaseKind::clipped) c.clip_dbfs = c.level_dbfs - u.figure;
    if (u.kind == CaseKind::over_full_scale) {
        c.over_band_db += u.figure - c.level_dbfs;
        c.level_dbfs = c.partials[0].level_dbfs = u.figure;
    }
    return c;
}

}  // namespace

std::vector<MixCase> make_user_cases(const Audio& clip, const Recording& r, uint64_t seed, int index, int count)
{
    // Drawn apart from make_cases' numbers, so the six cases stay as they were.
    Draw d{mix64(seed ^ hash_text(r.path) ^ 0x7573657273ull)};
    const std::vector<UserCase> table = user_table();
    const int n = int(table.size());
    std::vector<MixCase> cases;
    for (int j = index; count > 0 && j < 2 * n; j += count)
        cases.push_back(user_case(d, clip, r, table[size_t(j % n)]));
    return cases;
}
