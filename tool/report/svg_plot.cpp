#include "tool/report/svg_plot.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tool/analysis/spectrum.h"
#include "tool/report/utf8_text.h"

namespace {

constexpr int kSvgWidth = 900, kSvgHeight = 660;
constexpr double kLeft = 70, kRight = 870;      // spectrum panel
constexpr double kTop = 60, kBottom = 360;
constexpr double kWaveTop = 430, kWaveBottom = 620;
constexpr double kDbRange = 120;
const char* const kBefore = "#8a8a8a";
const char* const kAfter = "#1f6fd1";
const char* const kBand = "#f3c44d";
// Frames of waveform shown each way from an edge of the stretch: 20 ms.
int64_t plot_reach(int32_t rate) { return std::max<int64_t>(rate / 50, 64); }

struct Box {
    double x0, y0, x1, y1;
};

std::string escape(const std::string& text)
{
    std::string out;
    for (char ch : utf8_or_escaped(text)) {
        if (ch == '<') out += "&lt;";
        else if (ch == '>') out += "&gt;";
        else if (ch == '&') out += "&amp;";
        else if (ch == '"') out += "&quot;";
        // XML holds no control characters but tab, newline and carriage return.
        else if (static_cast<unsigned char>(ch) < 0x20 && ch != '\t' && ch != '\n' && ch != '\r')
            out += fmt::format("\\x{:02x}", int(ch));
        else out += ch;
    }
    return out;
}

std::string hz_label(double hz)
{
    return hz >= 1000 ? fmt::format("{:g}k", hz / 1000) : fmt::format("{:g}", hz);
}

double x_of_hz(double hz, double top_hz)
{
    return kLeft + (kRight - kLeft) * std::log(hz / 20.0) / std::log(top_hz / 20.0);
}

// One point per pixel column, the column's loudest bin, so narrow peaks stay visible.
std::string spectrum_line(const Spectrum& s, double top_hz, double db_top, const char* colour)
{
    std::vector<double> column(size_t(kRight - kLeft) + 1, -1e300);
    for (size_t b = 1; b < s.power.size(); ++b) {
        const double hz = b * s.bin_hz();
        if (hz < 20 || hz > top_hz) continue;
        const size_t c = size_t(x_of_hz(hz, top_hz) - kLeft);
        column[c] = std::max(column[c], to_db(s.power[b]));
    }
    std::string points;
    for (size_t c = 0; c < column.size(); ++c) {
        if (column[c] < -1e299) continue;
        const double db = std::clamp(column[c], db_top - kDbRange, db_top);
        const double y = kTop + (kBottom - kTop) * (db_top - db) / kDbRange;
        points += fmt::format("{:.1f},{:.1f} ", kLeft + c, y);
    }
    return fmt::format("<polyline fill=\"none\" stroke=\"{}\" stroke-width=\"1.2\" points=\"{}\"/>\n", colour,
                       points);
}

std::string spectrum_panel(const Audio& in, const Audio& out, const Measurement& m)
{
    const int32_t n = segment_length(m.middle_count / 2, kLongestSegment);
    const Spectrum before = average_spectrum(in.samples.data(), in.channels, in.rate, m.middle_first,
                                             m.middle_count, n);
    const Spectrum after = average_spectrum(out.samples.data(), out.channels, out.rate, m.middle_first,
                                            m.middle_count, n);
    const double top_hz = in.rate / 2.0;
    double loudest = -300;
    for (double p : before.power) loudest = std::max(loudest, to_db(p));
    const double db_top = std::ceil(loudest / 10) * 10;

    std::string svg;
    const double band_lo = x_of_hz(std::max(m.low_hz, 20.0), top_hz);
    const double band_hi = x_of_hz(std::max(m.high_hz, 20.0), top_hz);
    svg += fmt::format("<rect x=\"{:.1f}\" y=\"{}\" width=\"{:.1f}\" height=\"{}\" fill=\"{}\" opacity=\"0.35\"/>\n",
                       band_lo, kTop, std::max(band_hi - band_lo, 1.0), kBottom - kTop, kBand);
    for (double hz : {20., 50., 100., 200., 500., 1000., 2000., 5000., 10000., 20000.}) {
        if (hz > top_hz) break;
        const double x = x_of_hz(hz, top_hz);
        svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1}\" x2=\"{0:.1f}\" y2=\"{2}\" stroke=\"#ddd\"/>"
                           "<text x=\"{0:.1f}\" y=\"{3}\" text-anchor=\"middle\">{4}</text>\n",
                           x, kTop, kBottom, kBottom + 16, hz_label(hz));
    }
    for (double db = db_top; db >= db_top - kDbRange; db -= 20) {
        const double y = kTop + (kBottom - kTop) * (db_top - db) / kDbRange;
        svg += fmt::format("<line x1=\"{0}\" y1=\"{1:.1f}\" x2=\"{2}\" y2=\"{1:.1f}\" stroke=\"#ddd\"/>"
                           "<text x=\"{3}\" y=\"{4:.1f}\" text-anchor=\"end\">{5:g}</text>\n",
                           kLeft, y, kRight, kLeft - 6, y + 4, db);
    }
    svg += spectrum_line(before, top_hz, db_top, kBefore);
    svg += spectrum_line(after, top_hz, db_top, kAfter);
    svg += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"#444\"/>\n", kLeft,
                       kTop, kRight - kLeft, kBottom - kTop);
    svg += fmt::format("<text x=\"{}\" y=\"{}\" text-anchor=\"middle\">Hz (dB per analysis bin of {:.1f} Hz, "
                       "average over the stretch's middle)</text>\n",
                       (kLeft + kRight) / 2, kBottom + 34, before.bin_hz());
    return svg;
}

// Minimum and maximum per pixel column, so that a dense waveform keeps its envelope.
std::string wave_line(const Audio& a, int64_t first, int64_t count, const Box& box, double scale,
                      const char* colour)
{
    const int columns = int(box.x1 - box.x0);
    std::string points;
    const double mid = (box.y0 + box.y1) / 2, half = (box.y1 - box.y0) / 2;
    for (int c = 0; c < columns; ++c) {
        const int64_t lo = first + count * c / columns;
        const int64_t hi = std::max(first + count * (c + 1) / columns, lo + 1);
        int32_t mn = 32767, mx = -32768;
        for (int64_t t = lo; t < hi; ++t) {
            const int32_t v = (t >= 0 && t < a.frames()) ? a.samples[t * a.channels] : 0;
            mn = std::min(mn, v);
            mx = std::max(mx, v);
        }
        const double x = box.x0 + c;
        points += fmt::format("{:.1f},{:.1f} {:.1f},{:.1f} ", x, mid - half * mx / scale, x + 0.5,
                              mid - half * mn / scale);
    }
    return fmt::format("<polyline fill=\"none\" stroke=\"{}\" stroke-width=\"1\" points=\"{}\"/>\n", colour, points);
}

std::string wave_panel(const Audio& in, const Audio& out, int64_t boundary, int64_t first, int64_t count,
                       const Box& box, const std::string& label)
{
    int32_t peak = 1;
    for (int64_t t = std::max<int64_t>(first, 0); t < std::min(first + count, in.frames()); ++t)
        peak = std::max({peak, std::abs(int32_t(in.samples[t * in.channels])),
                         std::abs(int32_t(out.samples[t * out.channels]))});
    const double scale = peak * 1.1;
    const double bx = box.x0 + (box.x1 - box.x0) * double(boundary - first) / double(count);
    std::string svg;
    svg += fmt::format("<line x1=\"{0}\" y1=\"{1:.1f}\" x2=\"{2}\" y2=\"{1:.1f}\" stroke=\"#ddd\"/>\n", box.x0,
                       (box.y0 + box.y1) / 2, box.x1);
    svg += wave_line(in, first, count, box, scale, kBefore);
    svg += wave_line(out, first, count, box, scale, kAfter);
    svg += fmt::format("<line x1=\"{0:.1f}\" y1=\"{1}\" x2=\"{0:.1f}\" y2=\"{2}\" stroke=\"#c33\" "
                       "stroke-dasharray=\"4 3\"/>\n",
                       bx, box.y0, box.y1);
    svg += fmt::format("<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"none\" stroke=\"#444\"/>\n", box.x0,
                       box.y0, box.x1 - box.x0, box.y1 - box.y0);
    svg += fmt::format("<text x=\"{}\" y=\"{}\">{}</text>\n", box.x0, box.y0 - 6, escape(label));
    return svg;
}

} // namespace

int64_t plot_margin(int32_t rate) { return plot_reach(rate) + kJumpReach; }

std::string svg_plot(const Audio& in, const Audio& out, const Measurement& m, const std::string& title)
{
    std::string svg = fmt::format(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
        "font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"{0}\" height=\"{1}\" fill=\"white\"/>\n"
        "<text x=\"{2}\" y=\"24\" font-size=\"16\">{3}</text>\n",
        kSvgWidth, kSvgHeight, kLeft, escape(title));
    svg += fmt::format("<rect x=\"{}\" y=\"34\" width=\"14\" height=\"3\" fill=\"{}\"/><text x=\"{}\" y=\"40\">before</text>\n",
                       kLeft, kBefore, kLeft + 18);
    svg += fmt::format("<rect x=\"{}\" y=\"34\" width=\"14\" height=\"3\" fill=\"{}\"/><text x=\"{}\" y=\"40\">after</text>\n",
                       kLeft + 80, kAfter, kLeft + 98);
    svg += fmt::format("<rect x=\"{}\" y=\"30\" width=\"14\" height=\"10\" fill=\"{}\" opacity=\"0.35\"/>"
                       "<text x=\"{}\" y=\"40\">notch band {:.0f} to {:.0f} Hz, centre {:.1f} Hz</text>\n",
                       kLeft + 150, kBand, kLeft + 168, m.low_hz, m.high_hz, m.centre_hz);
    svg += spectrum_panel(in, out, m);

    const int64_t reach = plot_reach(in.rate);
    const double gap = 30, mid = (kLeft + kRight) / 2;
    const int64_t end = m.stretch_first + m.stretch_count;
    svg += wave_panel(in, out, m.stretch_first, m.stretch_first - reach / 2, 2 * reach,
                      Box{kLeft, kWaveTop, mid - gap / 2, kWaveBottom},
                      fmt::format("stretch start, sample {} (first channel, {} ms shown)", in.first_frame + m.stretch_first,
                                  2 * reach * 1000 / in.rate));
    svg += wave_panel(in, out, end, end - reach * 3 / 2, 2 * reach, Box{mid + gap / 2, kWaveTop, kRight, kWaveBottom},
                      fmt::format("stretch end, sample {}", in.first_frame + end));
    svg += "</svg>\n";
    return svg;
}
