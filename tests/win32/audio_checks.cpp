#include "tests/win32/audio_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/host_edit.h"
#include "host/media.h"
#include "tests/win32/check.h"
#include "tests/win32/synthetic_media.h"

namespace {

const char* const kGroup = "audio";

typedef int32_t(__cdecl* ProcessFn)(void* table, void* request);
typedef int32_t(__cdecl* MessageFn)(void* window, uint32_t message, uintptr_t wparam,
                                    intptr_t lparam);

// Guard values written after the host's buffer: the plug-in must stay inside it.
constexpr int kGuard = 64;
constexpr int16_t kGuardValue = 0x5A5A;

struct Harness {
    void* table;
    ProcessFn process;
    MessageFn window_message;
    HostEdit edit;
    // The host's service table, 4 bytes per slot; the plug-in uses slots up to 172.
    unsigned char services[256];
};

// What the host does before each call: its value arrays and its service table go into
// the FilterTable at offsets 68, 72 and 96.
void attach(Harness* h)
{
    std::memset(h->services, 0, sizeof h->services);
    put_ptr_at(h->services, 20, reinterpret_cast<const void*>(&host_is_output_in_progress));
    put_ptr_at(h->services, 92, reinterpret_cast<const void*>(&host_get_media_info));
    put_ptr_at(h->services, 112, reinterpret_cast<const void*>(&host_get_selection));
    put_ptr_at(h->services, 172, reinterpret_cast<const void*>(&host_get_source_audio));
    put_ptr_at(h->table, 68, h->edit.slider_values);
    put_ptr_at(h->table, 72, h->edit.check_values);
    put_ptr_at(h->table, 96, h->services);
}

// One processing call for media frame `frame`, its audio in a host buffer of exactly
// that frame's size; what the plug-in leaves there is written into *output.
void process_frame(Harness* h, int frame, std::vector<int16_t>* output)
{
    const HostMedia& media = h->edit.media;
    const int channels = media.channels;
    const int64_t start = media_frame_start(media, frame);
    const int samples = static_cast<int>(media_frame_samples(media, frame));
    std::vector<int16_t> buffer(static_cast<size_t>(samples * channels + kGuard), kGuardValue);
    std::memcpy(buffer.data(), media.audio.data() + start * channels,
                static_cast<size_t>(samples * channels) * sizeof(int16_t));

    unsigned char request[96] = {};
    put_u32_at(request, 28, static_cast<uint32_t>(frame));
    put_ptr_at(request, 44, buffer.data());
    put_u32_at(request, 48, static_cast<uint32_t>(samples));
    put_u32_at(request, 52, static_cast<uint32_t>(channels));
    put_ptr_at(request, 60, &h->edit);
    attach(h);
    const int32_t result = h->process(h->table, request);
    check(result == 1, kGroup, "frame %d: processing callback returned %ld, expected 1", frame,
          static_cast<long>(result));
    const auto guard = buffer.begin() + samples * channels;
    check(std::all_of(guard, buffer.end(), [](int16_t v) { return v == kGuardValue; }), kGroup,
          "frame %d: the plug-in wrote past the host's buffer", frame);
    std::memcpy(output->data() + start * channels, buffer.data(),
                static_cast<size_t>(samples * channels) * sizeof(int16_t));
}

// Frames first .. last in order; everything else keeps the media's audio.
std::vector<int16_t> run_frames(Harness* h, int first, int last, int writing)
{
    std::vector<int16_t> output = h->edit.media.audio;
    h->edit.output_in_progress = writing;
    for (int f = first; f <= last; ++f) process_frame(h, f, &output);
    return output;
}

double rms(const std::vector<int16_t>& audio, int channel, int from, int to)
{
    double sum = 0.0;
    for (int t = from; t < to; ++t) {
        const double v = audio[static_cast<size_t>(2 * t + channel)];
        sum += v * v;
    }
    return std::sqrt(sum / (to - from));
}

// Checks that sample frames [from, to) of `got` equal those of `want`; reports the
// first difference.
void check_same(const std::vector<int16_t>& got, const std::vector<int16_t>& want, int from,
                int to, const char* what)
{
    const auto first = got.begin() + 2 * from, last = got.begin() + 2 * to;
    const auto diff = std::mismatch(first, last, want.begin() + 2 * from);
    const size_t i = static_cast<size_t>(diff.first - got.begin());
    check(diff.first == last, kGroup, "%s: sample frame %u channel %u is %d, expected %d", what,
          static_cast<unsigned>(i / 2), static_cast<unsigned>(i % 2),
          diff.first == last ? 0 : got[i], diff.first == last ? 0 : want[i]);
}

// The rendered span as the writing pass delivered it: the tone at the notch centre
// is gone in the span's middle, the 2000 Hz tone is not, the span fades in from
// silence, and nothing outside the span moved.
void check_span(const Harness& h, const std::vector<int16_t>& out, const char* mode)
{
    const int mid_from = kSpanStart + kFadeLength + kBlock;
    const int mid_to = kSpanStart + kSpanLength - kQuarter - kBlock;
    const double notch_in = rms(h.edit.media.audio, 0, mid_from, mid_to);
    const double notch_out = rms(out, 0, mid_from, mid_to);
    check(notch_out <= 0.02 * notch_in, kGroup,
          "%s: the notch-centre tone keeps %.2f %% of its level in the span's middle", mode,
          100.0 * notch_out / notch_in);
    int worst = 0;
    for (int t = mid_from; t < mid_to; ++t) {
        const size_t i = static_cast<size_t>(2 * t + 1);
        worst = std::max(worst, std::abs(out[i] - h.edit.media.audio[i]));
    }
    std::printf("  %s: notch-centre tone keeps %.3f %%, 2000 Hz tone moves by at most %d\n", mode,
                100.0 * notch_out / notch_in, worst);
    check(worst <= kAmplitude / 100, kGroup,
          "%s: the 2000 Hz tone differs by up to %d in the span's middle", mode, worst);
    check(out[2 * kSpanStart] == 0 && out[2 * kSpanStart + 1] == 0, kGroup,
          "%s: the span's first sample frame is (%d, %d), not silence", mode, out[2 * kSpanStart],
          out[2 * kSpanStart + 1]);
    const double early = rms(out, 1, kSpanStart, kSpanStart + kFadeLength / 4);
    const double late = rms(out, 1, kSpanStart + 3 * kFadeLength / 4, kSpanStart + kFadeLength);
    check(early < 0.5 * late, kGroup, "%s: no fade-in (level %.0f early, %.0f late)", mode, early, late);
    char what[64];
    std::snprintf(what, sizeof what, "%s, before the span", mode);
    check_same(out, h.edit.media.audio, 0, kSpanStart, what);
    std::snprintf(what, sizeof what, "%s, after the span", mode);
    check_same(out, h.edit.media.audio, kSpanStart + kSpanLength, kSampleFrames, what);
}

// A change of anything the rendered span depends on makes the next call re-render;
// the selection's last frame is not among those.
struct Change {
    const char* what;
    int32_t* field;
    int32_t value;
    bool renders;
};

void check_rerender_on_change(Harness* h, const std::vector<int16_t>& written)
{
    HostEdit& e = h->edit;
    const Change changes[] = {
        {"frequency slider", &e.slider_values[0], 150, true},
        {"seconds slider", &e.slider_values[1], 1, true},
        {"FFT slider", &e.slider_values[2], 12, true},
        {"width slider", &e.slider_values[3], 40, true},
        {"fade slider", &e.slider_values[4], 10, true},
        {"check box", &e.check_values[0], 1, true},
        {"audio rate", &e.media.audio_rate, 48000, true},
        {"channel count", &e.media.channels, 1, true},
        {"video rate numerator", &e.media.video_rate_num, 25, true},
        {"video rate denominator", &e.media.video_rate_den, 2, true},
        {"first selected frame", &e.selection_first, kFirstFrame + 1, true},
        {"last selected frame", &e.selection_last, kFrames - 10, false},
    };
    std::vector<int16_t> scratch = e.media.audio;
    for (const Change& c : changes) {
        const int32_t saved = *c.field;
        *c.field = c.value;
        int64_t before = e.source_audio_calls;
        process_frame(h, 60, &scratch);
        check((e.source_audio_calls > before) == c.renders, kGroup, "changing the %s %s", c.what,
              c.renders ? "did not re-render" : "re-rendered");
        *c.field = saved;
        before = e.source_audio_calls;
        process_frame(h, 60, &scratch);
        check((e.source_audio_calls > before) == c.renders, kGroup, "restoring the %s %s", c.what,
              c.renders ? "did not re-render" : "re-rendered");
    }
    // Back on the original settings the preview gives the same frame as before.
    const size_t from = static_cast<size_t>(2 * 60 * kFrameSamples);
    check(std::equal(written.begin() + from, written.begin() + from + 2 * kFrameSamples,
                     scratch.begin() + from),
          kGroup, "frame 60 differs after the settings went back");
}

// Writing mode delivers from the cursor. Once the span is used up further calls leave
// the audio alone; a host notification discards the span, so the next call renders
// afresh and receives the span's first samples, whatever its frame number.
void check_notifications(Harness* h, const std::vector<int16_t>& written)
{
    HostEdit& e = h->edit;
    const struct {
        uint32_t message;
        bool discards;
    } messages[] = {{kHostNotifyStale101, true}, {kHostNotifyStale105, true}, {0x0464, false}, {0x046A, false}};
    const size_t frame100 = static_cast<size_t>(2 * 100 * kFrameSamples);
    const size_t span = static_cast<size_t>(2 * kSpanStart);
    for (const auto& m : messages) {
        e.output_in_progress = 1;
        std::vector<int16_t> out = e.media.audio;
        // Use the span up: L / 1470 calls and a few to spare.
        bool used_up = false;
        for (int call = 0; call < 2 * kSpanLength / kFrameSamples && !used_up; ++call) {
            const int64_t before = e.source_audio_calls;
            process_frame(h, 100, &out);
            used_up = e.source_audio_calls == before &&
                      std::equal(out.begin() + frame100, out.begin() + frame100 + 2 * kFrameSamples,
                                 e.media.audio.begin() + frame100);
        }
        check(used_up, kGroup, "writing calls never stop delivering the span");
        const int32_t result = h->window_message(nullptr, m.message, 0, 0);
        check(result == 0, kGroup, "message 0x%04x: callback returned %ld", m.message,
              static_cast<long>(result));
        const int64_t before = e.source_audio_calls;
        out = e.media.audio;
        process_frame(h, 100, &out);
        check((e.source_audio_calls > before) == m.discards, kGroup, "message 0x%04x %s",
              m.message, m.discards ? "did not lead to a re-render" : "led to a re-render");
        const bool got_span_start = std::equal(out.begin() + frame100, out.begin() + frame100 + 2 * kFrameSamples,
                                               written.begin() + span);
        check(got_span_start == m.discards, kGroup,
              "message 0x%04x: the next writing call %s the span's first samples", m.message,
              m.discards ? "did not receive" : "received");
    }
}

} // namespace

void check_audio_processing(void* table)
{
    static Harness h; // the EditHandle is its address: it must not move
    h.table = table;
    h.process = reinterpret_cast<ProcessFn>(const_cast<void*>(ptr_at(table, 48)));
    h.window_message = reinterpret_cast<MessageFn>(const_cast<void*>(ptr_at(table, 64)));
    make_synthetic_edit(&h.edit);

    const std::vector<int16_t> written = run_frames(&h, kFirstFrame, kFrames - 1, 1);
    check(h.edit.source_audio_calls > 0, kGroup, "the first processing call did not render");
    check(h.edit.last_source_table == table, kGroup,
          "the source-audio service was not passed the FilterTable");
    check_span(h, written, "writing");
    // For the native twin, which renders the same edit with the native build and
    // compares: the 32-bit DLL must compute the same samples.
    std::FILE* file = std::fopen(kOutputFile, "wb");
    check(file != nullptr, kGroup, "cannot create %s", kOutputFile);
    const size_t stored = std::fwrite(written.data(), sizeof(int16_t), written.size(), file);
    check(std::fclose(file) == 0 && stored == written.size(), kGroup, "cannot write %s", kOutputFile);

    const int64_t renders = h.edit.source_audio_calls;
    const std::vector<int16_t> previewed = run_frames(&h, 0, kFrames - 1, 0);
    check(h.edit.source_audio_calls == renders, kGroup,
          "the preview re-rendered although nothing changed");
    check_same(previewed, written, 0, kSampleFrames, "preview against writing");

    check_rerender_on_change(&h, written);
    check_notifications(&h, written);
}
