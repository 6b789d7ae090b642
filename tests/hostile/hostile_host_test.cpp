// Hostile hosts and damaged settings, one row each, with the outcome a sound plug-in
// gives: the request's audio is processed (overwritten from the rendered span) or
// passed through untouched. Every row runs twice on a freshly reset plug-in with
// complementary host audio in the request buffer, so each position is either the
// host's own value in both runs or the same rendered value in both; guard zones around
// the buffer catch writes past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "host/host_edit.h"
#include "host/host_process.h"
#include "render/plan_arithmetic.h"
#include "render/slider_table.h"
#include "shell/host_interface.h"
#include "test_media.h"

namespace {

enum Outcome {
    untouched, // no sample of the request changes
    processed, // every sample of the request comes from the span
    silence,   // processed, and the span is silent (the host supplied no audio)
    notched,   // processed, and a 1 kHz tone at the notch centre is gone mid-span
    no_wrap,   // processed, and full-scale plateaus keep their sign (saturation)
};

enum Signal { tone_and_noise, square_full_scale };

struct Request {
    bool writing = false;               // output in progress: delivery from the cursor
    int32_t frame_delta = 0;            // frame = first selected frame + this
    int32_t samples = 256;
    std::optional<int32_t> channels;    // default: the media's
    bool null_buffer = false;
};

struct HostileCase {
    std::string name;
    std::array<int32_t, 5> sliders{100, 1, 11, 30, 25}; // frequency, seconds, fft_order, width, fade
    int32_t check = 0;
    int32_t rate = 44100, channels = 1, num = 30, den = 1;
    int32_t first = 0;
    SourceAudioMode source = source_true;
    Signal signal = tone_and_noise;
    Request request;
    Outcome outcome = processed;
    // A row with out-of-range sliders must render exactly as these in-range ones.
    std::optional<std::array<int32_t, 5>> same_as;
    // Before the row's own state, a normal render is delivered and then discarded by a
    // host notification (or, with `reload`, by the host fetching the table again).
    bool after_render = false;
    bool reload = false;
    // When set: the most source-audio calls one processing call may make.
    std::optional<int64_t> most_source_calls;
};

std::ostream& operator<<(std::ostream& os, const HostileCase& c) { return os << c.name; }

constexpr int kGuard = 64;
constexpr int16_t kGuardValue = 0x2d2d;
constexpr int64_t kMaxBufferValues = 1 << 18; // a longer request is a lying host

int16_t host_value(int64_t i, bool inverted)
{
    return static_cast<int16_t>((i * 7919 + 13) ^ (inverted ? 0xffff : 0));
}

// 1.2 s of audio plus one largest block (so a whole block can be measured at any rate):
// a 1 kHz tone with a little noise, or a 100 Hz full-scale square.
std::vector<int16_t> make_audio(const HostileCase& c)
{
    if (c.rate <= 0 || c.channels <= 0 || c.channels > 64) return std::vector<int16_t>(64, 1000);
    const int64_t frames = c.rate * int64_t{12} / 10 + 16384;
    std::vector<int16_t> audio(static_cast<size_t>(frames * c.channels));
    uint32_t x = 12345;
    for (int64_t t = 0; t < frames; ++t)
        for (int32_t k = 0; k < c.channels; ++k) {
            x = x * 1664525u + 1013904223u;
            const double phase = 2 * M_PI * 1000.0 * static_cast<double>(t) / c.rate;
            const int v = c.signal == square_full_scale
                              ? ((t * 200 / c.rate) % 2 ? -32768 : 32767)
                              : static_cast<int>(8000 * std::sin(phase)) + static_cast<int>(x >> 23) - 256;
            audio[static_cast<size_t>(t * c.channels + k)] = static_cast<int16_t>(v);
        }
    return audio;
}

void set_media(HostEdit& edit, const HostileCase& c)
{
    edit.media = media_with(c.rate, c.channels, c.num, c.den, make_audio(c));
    edit.selection_first = c.first;
    edit.selection_last = c.first < INT32_MAX - 100 ? c.first + 100 : INT32_MAX;
    edit.source_mode = c.source;
}

struct Delivery {
    std::vector<int16_t> buffer; // guards, request values, guards
    int64_t values = 0;
};

// One processing call as the row describes it, on a freshly reset plug-in.
Delivery deliver(const HostileCase& c, const std::array<int32_t, 5>& sliders, const Request& r,
                 bool inverted)
{
    FilterTable* table = GetFilterTable();
    HostEdit edit;
    host_attach(&edit, table);
    table->window_message(nullptr, kHostNotifyStale101, 0, 0);
    if (c.after_render) {
        HostileCase normal;
        normal.channels = 2;
        set_media(edit, normal);
        std::copy(normal.sliders.begin(), normal.sliders.end(), edit.slider_values);
        std::vector<int16_t> frame;
        host_process_media_frame(&edit, table, 0, &frame);
        if (c.reload) table = GetFilterTable();
        else table->window_message(nullptr, kHostNotifyStale105, 0, 0);
    }
    set_media(edit, c);
    std::copy(sliders.begin(), sliders.end(), edit.slider_values);
    edit.check_values[0] = c.check;
    edit.output_in_progress = r.writing;

    const int32_t channels = r.channels.value_or(c.channels);
    Delivery d;
    if (r.samples > 0 && channels > 0)
        d.values = std::min<int64_t>(int64_t{r.samples} * channels, kMaxBufferValues);
    d.buffer.assign(static_cast<size_t>(d.values + 2 * kGuard), kGuardValue);
    for (int64_t i = 0; i < d.values; ++i) d.buffer[kGuard + i] = host_value(i, inverted);
    int16_t* audio = r.null_buffer ? nullptr : d.buffer.data() + kGuard;
    EXPECT_EQ(host_process_raw(&edit, table, c.first + r.frame_delta, audio, r.samples, channels), 1);
    if (c.most_source_calls) {
        EXPECT_LE(edit.source_audio_calls, *c.most_source_calls) << "frames asked for past the last frame number";
    }
    return d;
}

// The values the plug-in wrote, from two runs with complementary host audio; empty when
// it wrote none. Fails the test on writes outside the buffer or values that depend on
// the host's buffer.
std::vector<int16_t> written(const HostileCase& c, const std::array<int32_t, 5>& sliders,
                             const Request& r)
{
    const Delivery a = deliver(c, sliders, r, false), b = deliver(c, sliders, r, true);
    for (int i = 0; i < kGuard; ++i)
        for (const Delivery* d : {&a, &b}) {
            EXPECT_EQ(d->buffer[i], kGuardValue) << "before the buffer, " << i;
            EXPECT_EQ(d->buffer[kGuard + d->values + i], kGuardValue) << "past the buffer, " << i;
        }
    std::vector<int16_t> out;
    bool passed_through = false;
    for (int64_t i = 0; i < a.values; ++i) {
        const int16_t x = a.buffer[kGuard + i], y = b.buffer[kGuard + i];
        if (x != y) {
            EXPECT_TRUE(x == host_value(i, false) && y == host_value(i, true))
                << "value " << i << " depends on the host's buffer";
            passed_through = true;
        } else {
            EXPECT_FALSE(passed_through) << "written values are not a prefix of the buffer, " << i;
            out.push_back(x);
        }
    }
    return out;
}

// Amplitude of the 1 kHz component of channel 0 over frames [from, to).
double tone_amplitude(const int16_t* x, int32_t channels, int64_t from, int64_t to, int32_t rate)
{
    double re = 0, im = 0;
    for (int64_t t = from; t < to; ++t) {
        const double phase = 2 * M_PI * 1000.0 * static_cast<double>(t) / rate;
        re += x[t * channels] * std::cos(phase);
        im += x[t * channels] * std::sin(phase);
    }
    return 2 * std::hypot(re, im) / static_cast<double>(to - from);
}

class HostileHost : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileHost, ProcessesOrPassesThrough)
{
    const HostileCase& c = GetParam();
    const std::vector<int16_t> out = written(c, c.sliders, c.request);
    if (c.outcome == untouched) {
        EXPECT_TRUE(out.empty()) << out.size() << " values written";
        return;
    }
    const int32_t channels = c.request.channels.value_or(c.channels);
    ASSERT_EQ(static_cast<int64_t>(out.size()), int64_t{c.request.samples} * channels);

    if (c.same_as) {
        EXPECT_EQ(out, written(c, *c.same_as, c.request)) << "not rendered as the clamped settings";
    }
    if (!c.request.writing && c.request.frame_delta != 0) {
        // A preview frame shows the span from start(f) - start(first) on: the same values
        // sequential delivery hands out there.
        const int64_t offset = plan_frame_start(c.first + c.request.frame_delta, c.rate, c.num, c.den) -
                               plan_frame_start(c.first, c.rate, c.num, c.den);
        Request head;
        head.writing = true;
        head.samples = static_cast<int32_t>(offset) + c.request.samples;
        const std::vector<int16_t> span = written(c, c.sliders, head);
        ASSERT_EQ(span.size(), static_cast<size_t>(head.samples * channels));
        EXPECT_TRUE(std::equal(out.begin(), out.end(), span.begin() + offset * channels))
            << "preview offset is not start(f) - start(first) = " << offset;
    }
    if (c.outcome == silence) {
        EXPECT_EQ(std::count(out.begin(), out.end(), 0), static_cast<long>(out.size()));
    }
    if (c.outcome == notched) {
        const std::vector<int16_t> source = make_audio(c);
        const int64_t frames = c.request.samples;
        const double before = tone_amplitude(source.data(), channels, frames / 4, frames * 3 / 4, c.rate);
        const double after = tone_amplitude(out.data(), channels, frames / 4, frames * 3 / 4, c.rate);
        EXPECT_LT(after, 0.1 * before) << "tone " << before << " -> " << after;
    }
    if (c.outcome == no_wrap) {
        const std::vector<int16_t> source = make_audio(c);
        for (size_t t = 512 + 20; t + 20 < out.size(); ++t) {
            if (source[t - 20] == source[t] && source[t + 20] == source[t]) {
                ASSERT_EQ(out[t] > 0, source[t] > 0) << "sign flipped at frame " << t << ": " << out[t];
            }
        }
    }
}

std::vector<HostileCase> hostile_cases()
{
    std::vector<HostileCase> rows;
    auto row = [&rows](std::string name, Outcome outcome) -> HostileCase& {
        rows.emplace_back();
        rows.back().name = std::move(name);
        rows.back().outcome = outcome;
        return rows.back();
    };

    // Every slider at its ends, 0, -1 and INT_MAX: rendered as the value clamped into
    // its range (a damaged project still gets a notch, never a crash).
    const int32_t* lo = kSliderMinima;
    const int32_t* hi = kSliderMaxima;
    for (int i = 0; i < kSliderCount; ++i) {
        const std::pair<const char*, int32_t> values[] = {
            {"min", lo[i]}, {"max", hi[i]}, {"zero", 0}, {"minus1", -1}, {"intmax", INT_MAX}};
        for (const auto& [label, v] : values) {
            HostileCase& c = row(std::string(kSliderNames[i]) + "_" + label, processed);
            c.sliders[i] = v;
            if (v < lo[i] || v > hi[i]) {
                c.same_as = c.sliders;
                (*c.same_as)[i] = std::clamp(v, lo[i], hi[i]);
            }
        }
    }
    // The notch centre lands past the spectrum array (entry 18000 of 16384): the entries
    // outside it are skipped.
    row("notch_centre_past_array", processed).sliders = {1800, 1, 14, 256, 0};

    // Every sampling rate against every block size. A block longer than half a second
    // has no whole-Hz spacing; the exact spacing then still puts the notch on 1 kHz.
    for (int32_t rate : {1, 8000, 11025, 22050, 32000, 44100, 48000, 96000, 192000})
        for (int32_t order = 9; order <= 14; ++order) {
            const bool exact_spacing = rate >= 8000 && (rate / 2) >> order == 0;
            HostileCase& c = row("rate" + std::to_string(rate) + "_order" + std::to_string(order),
                                 exact_spacing ? notched : processed);
            c.rate = rate;
            c.sliders = {100, 1, order, 30, 0};
            if (exact_spacing) c.request = Request{true, 0, 1 << order, {}, false};
        }

    // Channel counts. None, and counts whose span would not fit in memory, pass through.
    for (int32_t ch : {0, 1, 2, 6, 8, 65536, INT_MAX}) {
        HostileCase& c = row("channels" + std::to_string(ch), ch >= 1 && ch <= 8 ? processed : untouched);
        c.channels = ch;
    }

    // Video rates; a preview frame after the first maps to start(f) - start(first).
    struct Rate { const char* name; int32_t num, den, delta; Outcome outcome; };
    for (const Rate& v : {Rate{"video0_1", 0, 1, 0, untouched}, Rate{"video1_0", 1, 0, 0, untouched},
                          Rate{"video30000_1001", 30000, 1001, 7, processed},
                          Rate{"video24_1", 24, 1, 3, processed}, Rate{"video120_1", 120, 1, 5, processed},
                          Rate{"video1_10", 1, 10, 0, processed},
                          Rate{"video1_10_next_frame_past_span", 1, 10, 1, untouched},
                          Rate{"video30_1_frame_before_first", 30, 1, -1, untouched}}) {
        HostileCase& c = row(v.name, v.outcome);
        c.rate = 48000;
        c.num = v.num;
        c.den = v.den;
        c.first = 2;
        c.request.frame_delta = v.delta;
    }

    // The host supplies no audio for the span: the capture stops and the span is silent.
    row("selection_past_media_end", silence).first = 1000;
    row("selection_before_media_start", silence).first = -5;
    row("host_returns_zero", silence).source = source_none;
    row("host_returns_one_sample", processed).source = source_one;
    // The selection starts at the last frame number there is, and the host answers every
    // frame: the capture stops after that frame instead of counting past it.
    HostileCase& last_frame = row("selection_at_last_frame_number", silence);
    last_frame.first = INT32_MAX;
    last_frame.source = source_one;
    last_frame.most_source_calls = 1;
    row("host_returns_twice_a_frame", processed).source = source_twice;
    HostileCase& twice = row("host_returns_twice_a_frame_writing", processed);
    twice.source = source_twice;
    twice.request.writing = true;

    // Requests that do not fit the span pass through, in either delivery mode.
    for (bool writing : {false, true}) {
        const std::string mode = writing ? "_writing" : "_preview";
        auto request = [&](std::string name) -> Request& {
            HostileCase& c = row(name + mode, untouched);
            c.channels = 2;
            c.request.writing = writing;
            return c.request;
        };
        request("null_buffer").null_buffer = true;
        request("zero_samples").samples = 0;
        request("negative_samples").samples = -1;
        request("intmin_samples").samples = INT_MIN;
        request("fewer_channels").channels = 1;
        request("more_channels").channels = 3;
        request("zero_channels").channels = 0;
    }

    // A full-scale square loses some harmonics in the notch and overshoots full scale:
    // the overshoot saturates instead of wrapping to the opposite sign.
    HostileCase& square = row("full_scale_square_saturates", no_wrap);
    square.signal = square_full_scale;
    square.sliders = {100, 1, 11, 30, 0};
    square.request = Request{true, 0, 8192, {}, false};

    // After a notification (or a fresh table) the cleared key is all zeros. A host whose
    // every value is 0 must not get the discarded span back: such media renders nothing.
    for (bool reload : {false, true}) {
        HostileCase& c = row(reload ? "reload_then_all_zero_host" : "notification_then_all_zero_host", untouched);
        c.sliders = {0, 0, 0, 0, 0};
        c.rate = c.channels = c.num = c.den = 0;
        c.after_render = true;
        c.reload = reload;
        c.request.channels = 2;
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Table, HostileHost, ::testing::ValuesIn(hostile_cases()),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

} // namespace
