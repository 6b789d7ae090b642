#include "core/page_chunks.h"

#include <cstring>
#include <type_traits>

#include "tool/analysis/tool_error.h"

namespace {

template <class T>
void put(const T& value, std::vector<uint8_t>* out)
{
    static_assert(std::is_trivially_copyable<T>::value, "only plain values are put as their bytes");
    const auto* p = reinterpret_cast<const uint8_t*>(&value);
    out->insert(out->end(), p, p + sizeof value);
}

struct Reader {
    const uint8_t* at;
    const uint8_t* end;
    template <class T>
    T take()
    {
        T value;
        if (size_t(end - at) < sizeof value) throw ToolError("a chunk's detection came back cut short");
        std::memcpy(&value, at, sizeof value);
        at += sizeof value;
        return value;
    }
};

// A tone's fields but its harmonics, which follow it.
void put_tone(const Tone& t, std::vector<uint8_t>* out)
{
    put(t.found, out);
    for (double x : {t.hz, t.level_dbfs, t.above_floor_db, t.drift_hz, t.level_range_db, t.level_trend_db,
                     t.level_slope_db, t.beat_db, t.resolution_hz, t.over_band_db, t.audibility_db})
        put(x, out);
    put(t.first, out);
    put(t.end, out);
    put(t.from_region_start, out);
    put(t.to_region_end, out);
    put(uint32_t(t.harmonics.size()), out);
    for (const Harmonic& h : t.harmonics) put(h, out);
}

Tone take_tone(Reader* r)
{
    Tone t;
    t.found = r->take<bool>();
    for (double* x : {&t.hz, &t.level_dbfs, &t.above_floor_db, &t.drift_hz, &t.level_range_db, &t.level_trend_db,
                      &t.level_slope_db, &t.beat_db, &t.resolution_hz, &t.over_band_db, &t.audibility_db})
        *x = r->take<double>();
    t.first = r->take<int64_t>();
    t.end = r->take<int64_t>();
    t.from_region_start = r->take<bool>();
    t.to_region_end = r->take<bool>();
    t.harmonics.resize(r->take<uint32_t>());
    for (Harmonic& h : t.harmonics) h = r->take<Harmonic>();
    return t;
}

}  // namespace

void put_detection(const Detection& d, std::vector<uint8_t>* out)
{
    put(d.resolution_hz, out);
    put(uint32_t(d.tones.size()), out);
    for (const Tone& t : d.tones) put_tone(t, out);
    put(uint32_t(d.dropped.size()), out);
    for (const Dropped& x : d.dropped) put(x, out);
}

std::vector<Detection> detections_of(const uint8_t* bytes, size_t size)
{
    Reader r{bytes, bytes + size};
    std::vector<Detection> all;
    while (r.at != r.end) {
        Detection d;
        d.resolution_hz = r.take<double>();
        d.tones.resize(r.take<uint32_t>());
        for (Tone& t : d.tones) t = take_tone(&r);
        d.dropped.resize(r.take<uint32_t>());
        for (Dropped& x : d.dropped) x = r.take<Dropped>();
        all.push_back(d);
    }
    return all;
}
