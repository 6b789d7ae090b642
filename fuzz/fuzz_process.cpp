// libFuzzer entry. The input is decoded into settings, media, a selection and a sequence
// of host calls (processing calls in either delivery mode, notifications, window
// messages, setting and media changes, source-audio faults, reloads). The sequence runs
// twice on a freshly reset plug-in, the request buffers filled with complementary
// patterns, so that a position is either untouched in both runs or holds the same
// rendered value in both. After every processing call the harness checks:
//   - the guard zones around the request's buffer are intact;
//   - the written positions are exactly the prefix a sound plug-in writes: the count
//     follows from the span length, the delivery cursor and the preview offset, which
//     the harness models independently;
//   - every span position holds the same value whenever it is delivered again, by either
//     mode or after a re-render of the same settings.
// Sizes are bounded here (media rate times channels, frame duration, request size) so
// one input runs in milliseconds; the plug-in itself is expected to survive anything.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "host/host_edit.h"
#include "host/host_process.h"
#include "render/slider_table.h"
#include "host/window_messages.h"
#include "shell/host_interface.h"

namespace {

constexpr int kGuard = 32;                   // guard values on each side of a request buffer
constexpr int16_t kGuardValue = 0x5a5a;
constexpr int64_t kMaxSpanValues = 200000;
constexpr int64_t kMaxRequestValues = 1 << 16;
constexpr int kMaxOps = 16;

enum OpKind { op_process, op_notify, op_window, op_setting, op_media, op_select, op_source,
              op_reload, op_count };

// One host call or host-side change. By kind: process a = frame, b = samples,
// c = channels (see resolve_request); notify flags bit 0 picks the message; window
// a = message index, b and c = parameters, flags = which window; setting a = slider
// (5: check box), b = value; media flags = field, b = value; select a = first frame (or
// the next one), b = last; source a = mode.
struct Op {
    OpKind kind;
    int32_t a, b, c;
    int32_t flags;
};

struct Script {
    HostEdit start; // settings, media, selection and source mode before the first op
    std::vector<Op> ops;
};

// The plug-in state a sound implementation keeps, as far as the buffer writes show it.
struct Model {
    bool cleared = true;
    int32_t key[12] = {};   // the eleven key values and the source mode at render time
    int64_t length = 0;     // span length L in sample frames, 0 when nothing rendered
    int32_t channels = 0;
    int64_t cursor = 0;
    std::map<std::vector<int32_t>, std::vector<int32_t>> spans; // key -> values seen
};

int32_t clamp32(int32_t v, int32_t lo, int32_t hi) { return std::min(std::max(v, lo), hi); }

int32_t pick(FuzzedDataProvider& in, std::initializer_list<const int32_t> common, int32_t lo,
             int32_t hi)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.PickValueInArray(common);
    case 1: return in.ConsumeIntegral<int32_t>();
    default: return in.ConsumeIntegralInRange(lo, hi);
    }
}

// Keeps one render small: a span holds up to 3 s of audio plus a block of up to 16384
// frames per channel, and a frame, which a hostile host may write twice, grows with
// den / num. Rates above 48 kHz and wide media are left to the hostile host tests.
void bound_media(HostMedia& m)
{
    m.audio_rate = std::min(m.audio_rate, 48000);
    const int64_t span = 3 * int64_t{std::max(m.audio_rate, 0)} + 16384;
    if (m.channels > 0)
        m.channels = static_cast<int32_t>(
            std::min<int64_t>(m.channels, std::max<int64_t>(1, kMaxSpanValues / span)));
    if (m.video_rate_num > 0 && m.video_rate_den > 0)
        m.video_rate_den = static_cast<int32_t>(std::min<int64_t>(m.video_rate_den, 16LL * m.video_rate_num));
}

int32_t pick_slider(FuzzedDataProvider& in, int i)
{
    const int32_t lo = kSliderMinima[i], hi = kSliderMaxima[i];
    return pick(in, {lo, hi, lo - 1, hi + 1, 0, -1, INT_MAX, INT_MIN}, lo, hi);
}

// Field 0: audio rate, 1: channels, 2: video rate numerator, 3: denominator.
int32_t pick_media_value(FuzzedDataProvider& in, int field)
{
    switch (field) {
    case 0: return pick(in, {1, 100, 8000, 11025, 22050, 32000, 44100, 48000, 0, -1}, 1, 48000);
    case 1: return pick(in, {0, -1, 1, 2, 6, 8, INT_MAX}, 1, 8);
    case 2: return pick(in, {0, -1, 1, 24, 30, 120, 30000, 24000}, 1, 240000);
    default: return pick(in, {0, -1, 1, 10, 1001}, 1, 1001);
    }
}

void set_media_value(HostMedia& m, int field, int32_t v)
{
    int32_t* fields[] = {&m.audio_rate, &m.channels, &m.video_rate_num, &m.video_rate_den};
    *fields[field & 3] = v;
    bound_media(m);
}

// The host-side effect of every op but processing calls, window messages and reloads.
void apply_host_op(HostEdit& e, const Op& op)
{
    switch (op.kind) {
    case op_setting: {
        const int i = static_cast<uint32_t>(op.a) % 6;
        (i < 5 ? e.slider_values[i] : e.check_values[0]) = op.b;
        break;
    }
    case op_media: set_media_value(e.media, op.flags, op.b); break;
    case op_select:
        // The next frame, wrapping past INT_MAX as a careless host would.
        e.selection_first = op.flags & 1 ? op.a : static_cast<int32_t>(static_cast<uint32_t>(e.selection_first) + 1u);
        e.selection_last = op.b;
        break;
    case op_source: e.source_mode = static_cast<SourceAudioMode>(static_cast<uint32_t>(op.a) % 4); break;
    default: break;
    }
}

Script decode(FuzzedDataProvider& in)
{
    Script s;
    HostEdit& e = s.start;
    for (int i = 0; i < kHostSliders; ++i) e.slider_values[i] = pick_slider(in, i);
    e.check_values[0] = pick(in, {0, 1, -1}, 0, 1);
    for (int field = 0; field < 4; ++field) set_media_value(e.media, field, pick_media_value(in, field));
    // Up to four seconds of media, stored as values so a channel change only re-reads it.
    const int64_t rate = e.media.audio_rate > 0 ? e.media.audio_rate : 1000;
    const int64_t channels = e.media.channels > 0 ? e.media.channels : 1;
    const int64_t values = channels * in.ConsumeIntegralInRange<int64_t>(0, 4 * rate);
    const int32_t amplitude = in.PickValueInArray({0, 1000, 32767});
    uint32_t x = in.ConsumeIntegral<uint32_t>();
    // At least one value: an empty vector has no data pointer to hand the host's copies.
    // With more than one channel that value is a partial frame, so media without audio
    // is still reached.
    e.media.audio.resize(static_cast<size_t>(std::max<int64_t>(values, 1)));
    for (int16_t& v : e.media.audio) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<int16_t>(static_cast<int64_t>(x >> 16) % (2 * amplitude + 1) - amplitude);
    }
    e.selection_first = pick(in, {0, 1, -1, 100000, INT_MAX, INT_MIN}, 0, 200);
    e.selection_last = pick(in, {0, -1, INT_MAX}, 0, 300);
    e.source_mode = static_cast<SourceAudioMode>(in.ConsumeIntegralInRange(0, 3));

    while (in.remaining_bytes() > 0 && s.ops.size() < kMaxOps) {
        Op op{static_cast<OpKind>(in.ConsumeIntegralInRange(0, op_count - 1)), 0, 0, 0, 0};
        // Weight processing calls: they are what the checks look at.
        if (in.ConsumeBool()) op.kind = op_process;
        op.a = pick(in, {0, 1, -1, 30, 90, INT_MAX, INT_MIN}, -2, 400);
        op.b = pick(in, {0, 1, -1, INT_MIN, 1600, 2002}, 1, 8192);
        op.c = pick(in, {0, -1, 1, 2, 6, 8, INT_MAX}, 1, 8);
        op.flags = in.ConsumeIntegralInRange(0, 31);
        if (op.kind == op_media) op.b = pick_media_value(in, op.flags & 3);
        s.ops.push_back(op);
    }
    return s;
}

int64_t floor_div(__int128 a, __int128 b)
{
    __int128 q = a / b;
    if (a % b != 0 && (a < 0) != (b < 0)) --q;
    return static_cast<int64_t>(q);
}

// L: the seconds asked for, rounded up to whole hops of 3N/4, plus a quarter block.
int64_t span_length(const HostEdit& e)
{
    const int64_t n = int64_t{1} << clamp32(e.slider_values[2], 9, 14);
    const int64_t h = 3 * n / 4;
    const int64_t t = clamp32(e.slider_values[1], 1, 3) * int64_t{e.media.audio_rate} + h - 1;
    return t - t % h + n / 4;
}

[[noreturn]] void fail(const char* what)
{
    fprintf(stderr, "tulm_fuzz: %s\n", what);
    abort();
}

// A processing call as the host makes it. Most look like the host's own calls (a frame
// near the selection, the media's channel count, a buffer) so that sequences of valid
// deliveries are common; the rest carry the op's raw values. Flags: bit 0 writing mode,
// bit 2 absolute frame, bit 3 the op's channel count, bits 1 and 4 together no buffer.
// A count the plug-in may write in full is cut to kMaxRequestValues honestly; any other
// keeps its value and gets a shorter buffer (a lying host).
Op resolve_request(const HostEdit& e, Op op)
{
    if (!(op.flags & 4))
        op.a = static_cast<int32_t>(static_cast<uint32_t>(e.selection_first) + static_cast<uint32_t>(op.a));
    if (!(op.flags & 8)) op.c = e.media.channels;
    if (op.c == e.media.channels && op.c > 0 && op.b > 0)
        op.b = static_cast<int32_t>(std::min<int64_t>(op.b, kMaxRequestValues / op.c));
    op.flags = (op.flags & 1) | ((op.flags & 18) == 18 ? 2 : 0);
    return op;
}

// The sample frames a sound plug-in writes for this request and the span position they
// come from, advancing the model as the plug-in advances its state.
int64_t expected_frames(Model& m, const HostEdit& e, const Op& op, int64_t* at)
{
    const int32_t key[12] = {e.slider_values[0], e.slider_values[1], e.slider_values[2],
                             e.slider_values[3], e.slider_values[4], e.check_values[0],
                             e.media.audio_rate, e.media.channels, e.media.video_rate_num,
                             e.media.video_rate_den, e.selection_first, e.source_mode};
    if (m.cleared || !std::equal(key, key + 11, m.key)) {
        std::copy(key, key + 12, m.key);
        m.cleared = false;
        m.cursor = 0;
        m.channels = e.media.channels;
        const bool degenerate = e.media.audio_rate <= 0 || e.media.channels <= 0 ||
                                e.media.video_rate_num <= 0 || e.media.video_rate_den <= 0;
        m.length = degenerate ? 0 : span_length(e);
    }
    if ((op.flags & 2) || op.b <= 0 || op.c != m.channels || m.length == 0) return 0;
    if (op.flags & 1) {
        const int64_t k = std::min<int64_t>(op.b, m.length - m.cursor);
        *at = m.cursor;
        m.cursor += k;
        return k;
    }
    // start(f) - start(first), start(f) = floor(f x rate x den / num), exactly.
    const __int128 per = __int128{m.key[6]} * m.key[9];
    *at = floor_div(per * op.a, m.key[8]) - floor_div(per * m.key[10], m.key[8]);
    if (*at < 0 || *at >= m.length) return 0;
    return std::min<int64_t>(op.b, m.length - *at);
}

// The host's audio in a request buffer: the two runs use complementary values, so every
// position tells whether the plug-in wrote it.
int16_t host_value(size_t call, int64_t i, bool inverted)
{
    return static_cast<int16_t>((i * 40503 + static_cast<int64_t>(call) * 7) ^ (inverted ? 0xffff : 0));
}

void send_window_message(FilterTable* table, StandinWindows& w, const Op& op)
{
    static const uint32_t kMessages[] = {0x0100, 0x0101, 0x020a, 0x0000, 0x0400, 0x0464, 0x0466};
    const uint32_t message = kMessages[static_cast<uint32_t>(op.a) % 7];
    StandinWindow orphan{nullptr, nullptr, nullptr};
    void* window = op.flags & 1 ? static_cast<void*>(&orphan) : op.flags & 2 ? nullptr : &w.settings;
    const size_t before = w.received.size();
    if (host_send_message(table, window, message, static_cast<uintptr_t>(op.b), op.c) != 0)
        fail("window-message callback did not return 0");
    // Keys and the wheel go to the settings window's owner, unchanged; nothing else moves.
    const bool forwarded = window == &w.settings && (message == 0x0100 || message == 0x0101 || message == 0x020a);
    if (w.received.size() != before + (forwarded ? 1 : 0)) fail("window message forwarding");
    if (forwarded && (w.received.back().message != message ||
                      w.received.back().wparam != static_cast<uintptr_t>(op.b) ||
                      w.received.back().lparam != static_cast<intptr_t>(op.c)))
        fail("forwarded message changed on the way");
}

// Runs the script on a freshly reset plug-in; `outputs` collects every request buffer
// with its guards.
void run(const Script& s, bool inverted, std::vector<std::vector<int16_t>>& outputs)
{
    FilterTable* table = GetFilterTable();
    HostEdit edit = s.start;
    StandinWindows windows;
    standin_windows_init(&windows);
    host_attach(&edit, table);
    host_send_message(table, &windows.settings, kHostNotifyStale101, 0, 0);

    for (const Op& op : s.ops) {
        apply_host_op(edit, op);
        if (op.kind == op_notify)
            host_send_message(table, &windows.settings, op.flags & 1 ? kHostNotifyStale101 : kHostNotifyStale105, 0, 0);
        if (op.kind == op_window) send_window_message(table, windows, op);
        if (op.kind == op_reload) table = GetFilterTable();
        if (op.kind != op_process) continue;

        const Op r = resolve_request(edit, op);
        const int64_t values = r.b > 0 && r.c > 0 ? std::min<int64_t>(int64_t{r.b} * r.c, kMaxRequestValues) : 0;
        std::vector<int16_t> buffer(static_cast<size_t>(values + 2 * kGuard), kGuardValue);
        for (int64_t i = 0; i < values; ++i) buffer[kGuard + i] = host_value(outputs.size(), i, inverted);
        edit.output_in_progress = r.flags & 1;
        int16_t* audio = r.flags & 2 ? nullptr : buffer.data() + kGuard;
        if (host_process_raw(&edit, table, r.a, audio, r.b, r.c) != 1)
            fail("processing callback did not report success");
        outputs.push_back(std::move(buffer));
    }
}

// Replays the host state alongside the model and compares each call of the two runs
// with what a sound plug-in writes.
void check(const Script& s, const std::vector<std::vector<int16_t>>& a,
           const std::vector<std::vector<int16_t>>& b)
{
    if (a.size() != b.size()) fail("runs made different numbers of calls");
    HostEdit edit = s.start;
    Model m;
    size_t call = 0;
    for (const Op& op : s.ops) {
        apply_host_op(edit, op);
        if (op.kind == op_notify || op.kind == op_reload) m.cleared = true;
        if (op.kind != op_process) continue;

        const std::vector<int16_t>& x = a[call];
        const std::vector<int16_t>& y = b[call];
        const size_t values = x.size() - 2 * kGuard;
        for (size_t i = 0; i < kGuard; ++i)
            if (x[i] != kGuardValue || y[i] != kGuardValue || x[kGuard + values + i] != kGuardValue ||
                y[kGuard + values + i] != kGuardValue)
                fail("write outside the request's buffer");

        const Op r = resolve_request(edit, op);
        int64_t at = 0;
        const int64_t written = expected_frames(m, edit, r, &at) * std::max(r.c, 0);
        for (int64_t i = 0; i < static_cast<int64_t>(values); ++i) {
            const int16_t u = x[kGuard + i], v = y[kGuard + i];
            if (i < written && u != v) fail("span sample missing, or it depends on the host's buffer");
            if (i >= written && (u != host_value(call, i, false) || v != host_value(call, i, true)))
                fail("audio outside the span was touched");
        }
        ++call;
        if (written == 0) continue;
        std::vector<int32_t>& seen = m.spans[std::vector<int32_t>(m.key, m.key + 12)];
        seen.resize(static_cast<size_t>(m.length * m.channels), INT32_MIN);
        for (int64_t i = 0; i < written; ++i) {
            int32_t& v = seen[static_cast<size_t>(at * m.channels + i)];
            if (v != INT32_MIN && v != x[kGuard + i]) fail("span sample changed between deliveries");
            v = x[kGuard + i];
        }
    }
}

} // namespace

// A huge allocation the plug-in asks for must fail softly, as on the real host's heap.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const Script script = decode(in);
    std::vector<std::vector<int16_t>> a, b;
    run(script, false, a);
    run(script, true, b);
    check(script, a, b);
    return 0;
}
