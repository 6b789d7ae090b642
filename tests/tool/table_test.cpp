// `tulm table` against the plug-in's notch placement and the fit's covering width worked
// out here from their rules, so that a slip in the tool's own copy of that arithmetic
// shows as a wrong cell. Every value is read by its display column under its heading, a
// kanji counting two columns, so a row that does not line up fails to parse.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tool/analysis/measure.h"
#include "tool/analysis/suggest.h"
#include "tool/report/text_columns.h"
#include "tool_runner.h"

namespace {

// The slider ranges, and the common tones every table lists.
constexpr int kLowestFrequency = 1, kHighestFrequency = 1800;
constexpr int kLowestWidth = 5, kHighestWidth = 256;
constexpr int kLowestOrder = 9, kHighestOrder = 14;
constexpr int kRecommendedOrder = 13;
constexpr int kCommonTones = 18;
// The table prints Hz to one decimal.
constexpr double kPrinted = 0.0501;

// Code points of one UTF-8 string.
std::vector<char32_t> code_points(const std::string& s)
{
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const int n = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        char32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
        for (int k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += n;
    }
    return out;
}

// Japanese punctuation, kana, kanji and full-width forms: the only non-ASCII the table
// may hold, because only these are two columns wide in every Japanese monospace font.
bool two_columns(char32_t c)
{
    return (c >= 0x3000 && c <= 0x30FF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF60);
}

// The line with each two-column character drawn as "##": index = display column.
std::string by_columns(const std::string& line)
{
    std::string out;
    for (char32_t c : code_points(line)) out += c < 0x80 ? std::string(1, char(c)) : std::string("##");
    return out;
}

int column_of(const std::string& line, const std::string& label)
{
    const size_t at = line.find(label);
    return at == std::string::npos ? -1 : int(by_columns(line.substr(0, at)).size());
}

// The word that ends exactly at column `end` (right-aligned under a heading ending there).
bool word_ending(const std::string& cols, int end, std::string* word)
{
    if (end <= 0 || end > int(cols.size()) || cols[end - 1] == ' ' || (end < int(cols.size()) && cols[end] != ' '))
        return false;
    int start = end;
    while (start > 0 && cols[start - 1] != ' ') --start;
    *word = cols.substr(start, end - start);
    return true;
}

// The word that starts exactly at column `start` (left-aligned under a heading there).
bool word_starting(const std::string& cols, int start, std::string* word)
{
    if (start <= 0 || start >= int(cols.size()) || cols[start - 1] != ' ' || cols[start] == ' ') return false;
    size_t end = cols.find(' ', start);
    *word = cols.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return true;
}

struct Cell {
    int rate = 0, order = 0;
    double tone = 0;
    bool placed = false;  // false: "-"
    int frequency = 0, width = 0;
    bool recommended = false;
    double centre = 0, low = 0, high = 0;  // recommended rows only
    bool outside = false, speech = false;
};

struct Parsed {
    std::vector<Cell> cells;
    std::vector<std::string> misaligned;   // rows whose values do not sit under their headings
    std::vector<std::string> not_two_wide;  // lines holding other non-ASCII characters
};

void read_marks(const std::string& marks, Cell* c)
{
    c->outside = marks.find('*') != std::string::npos;
    c->speech = marks.find('!') != std::string::npos;
}

Parsed parse_table(const std::string& text)
{
    Parsed p;
    std::istringstream lines(text);
    bool grid = false;
    int rate = 0;
    std::map<std::string, int> heads;  // heading -> column
    for (std::string line; std::getline(lines, line);) {
        for (char32_t c : code_points(line))
            if (c >= 0x80 && !two_columns(c)) {
                p.not_two_wide.push_back(line);
                break;
            }
        if (line.rfind("FFT ごと", 0) == 0) grid = true;
        if (line.rfind("【", 0) == 0) {
            rate = int(std::lround(std::atof(line.c_str() + 3) * 1000));
            continue;
        }
        if (rate != 0 && line.find("音 / tone") != std::string::npos) {
            heads.clear();
            heads["Hz"] = column_of(line, "Hz") + 2;
            if (grid) {
                for (int k = kLowestOrder; k <= kHighestOrder; ++k)
                    heads["FFT " + std::to_string(k)] = column_of(line, "FFT " + std::to_string(k));
            } else {
                heads["周波数"] = column_of(line, "周波数") + 6;
                heads["幅"] = column_of(line, " 幅") + 3;
                heads["中心"] = column_of(line, "中心 Hz") + 7;
                heads["band"] = column_of(line, "削る範囲");
            }
            continue;
        }
        if (heads.empty() || line.empty()) {
            heads.clear();
            continue;
        }
        const std::string cols = by_columns(line);
        std::string hz;
        if (!word_ending(cols, heads["Hz"], &hz)) {
            p.misaligned.push_back(line);
            continue;
        }
        Cell base;
        base.rate = rate;
        base.tone = std::atof(hz.c_str());
        if (grid) {
            for (int k = kLowestOrder; k <= kHighestOrder; ++k) {
                Cell c = base;
                c.order = k;
                std::string word;
                if (!word_starting(cols, heads["FFT " + std::to_string(k)], &word)) {
                    p.misaligned.push_back(line);
                    break;
                }
                c.placed = word != "-";
                if (c.placed) {
                    const size_t slash = word.find('/');
                    c.frequency = std::atoi(word.c_str());
                    c.width = std::atoi(word.c_str() + slash + 1);
                    const size_t marks = word.find_first_not_of("0123456789", slash + 1);
                    read_marks(marks == std::string::npos ? "" : word.substr(marks), &c);
                }
                p.cells.push_back(c);
            }
            continue;
        }
        Cell c = base;
        c.order = kRecommendedOrder;
        c.recommended = true;
        std::string frequency, width, centre;
        if (!word_ending(cols, heads["周波数"], &frequency)) {
            p.misaligned.push_back(line);
            continue;
        }
        c.placed = frequency != "-";
        if (c.placed) {
            std::string band;
            if (!word_ending(cols, heads["幅"], &width) || !word_ending(cols, heads["中心"], &centre) ||
                !word_starting(cols, heads["band"], &band)) {
                p.misaligned.push_back(line);
                continue;
            }
            c.frequency = std::atoi(frequency.c_str());
            c.width = std::atoi(width.c_str());
            c.centre = std::atof(centre.c_str());
            std::istringstream rest(cols.substr(size_t(heads["band"])));
            std::string dash, marks;
            rest >> c.low >> dash >> c.high >> marks;
            read_marks(marks, &c);
        }
        p.cells.push_back(c);
    }
    return p;
}

struct Expected {
    int frequency = 0;  // 0: no slider value places the notch
    int width = 0;
    double centre = 0, low = 0, high = 0;
};

// The plug-in's placement: entry spacing (rate / 2) / N truncated to whole Hz, or the
// exact rate / 2N when that truncates to 0; centre entry trunc(f x 10 / spacing + 0.5),
// kept only below N; entry e lies in bin e / 2 of rate / N Hz; the notch reaches `width`
// entries either side, within the array. The nearest centre wins, a tie going to the
// value whose f x 10 Hz is nearer the tone. Width 0: the narrowest width whose band
// reaches kGuardBins bins past the tone on each side (down to 0 Hz), or the widest.
Expected expected_cell(int rate, int order, int width, double tone)
{
    const int n = 1 << order;
    const int whole = rate / 2 / n;
    const double spacing = whole > 0 ? whole : rate / (2.0 * n);
    const double bin = double(rate) / n;
    Expected best;
    int best_c = 0;
    double best_miss = 0;
    for (int f = kLowestFrequency; f <= kHighestFrequency; ++f) {
        const int c = int(f * 10 / spacing + 0.5);
        if (c >= n) continue;
        const double miss = std::fabs(c * bin / 2 - tone);
        if (best.frequency == 0 || miss < best_miss ||
            (miss == best_miss && std::fabs(f * 10 - tone) < std::fabs(best.frequency * 10 - tone))) {
            best_miss = miss;
            best.frequency = f;
            best_c = c;
        }
    }
    if (best.frequency == 0) return best;
    const auto band = [&](int w, double* low, double* high) {
        *low = std::max(best_c - w, 0) / 2 * bin;
        *high = std::min(best_c + w, n - 1) / 2 * bin;
    };
    best.width = width;
    if (width == 0) {
        best.width = kHighestWidth;
        const double reach = kGuardBins * bin;
        for (int w = kLowestWidth; w <= kHighestWidth; ++w) {
            double low = 0, high = 0;
            band(w, &low, &high);
            if (low <= std::max(tone - reach, 0.0) && high >= tone + reach) {
                best.width = w;
                break;
            }
        }
    }
    best.centre = best_c * bin / 2;
    band(best.width, &best.low, &best.high);
    return best;
}

struct TableCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> rates;
    int width;  // 0: the narrowest covering width in the grids
    int extra_tones;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class TableCells : public ::testing::TestWithParam<TableCase> {};

std::string where(const Cell& c)
{
    return std::to_string(c.rate) + " Hz, FFT " + std::to_string(c.order) + ", tone " + std::to_string(c.tone) +
           (c.recommended ? " (recommended)" : "");
}

} // namespace

TEST_P(TableCells, EveryCellAsThePlugInPlacesTheNotch)
{
    const TableCase c = GetParam();
    TempFolder dir;
    const ToolRun run = run_tool(c.args, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Parsed p = parse_table(run.out);
    EXPECT_TRUE(p.misaligned.empty()) << p.misaligned.front();
    EXPECT_TRUE(p.not_two_wide.empty()) << p.not_two_wide.front();
    const size_t tones = kCommonTones + c.extra_tones;
    const size_t orders = kHighestOrder - kLowestOrder + 1;
    ASSERT_EQ(p.cells.size(), c.rates.size() * tones * (1 + orders)) << run.out;

    std::map<int, size_t> recommended_rows;
    for (const Cell& cell : p.cells) {
        EXPECT_NE(std::find(c.rates.begin(), c.rates.end(), cell.rate), c.rates.end()) << where(cell);
        recommended_rows[cell.rate] += cell.recommended;
        const Expected e = expected_cell(cell.rate, cell.order, cell.recommended ? 0 : c.width, cell.tone);
        if (cell.tone >= cell.rate / 2.0 || e.frequency == 0) {
            EXPECT_FALSE(cell.placed) << where(cell);
            continue;
        }
        ASSERT_TRUE(cell.placed) << where(cell);
        EXPECT_EQ(cell.frequency, e.frequency) << where(cell);
        EXPECT_EQ(cell.width, e.width) << where(cell);
        EXPECT_EQ(cell.outside, cell.tone < e.low || cell.tone > e.high) << where(cell);
        EXPECT_EQ(cell.speech, e.high >= kSpeechLowHz && e.low <= kSpeechHighHz) << where(cell);
        if (cell.recommended) {
            EXPECT_NEAR(cell.centre, e.centre, kPrinted) << where(cell);
            EXPECT_NEAR(cell.low, e.low, kPrinted) << where(cell);
            EXPECT_NEAR(cell.high, e.high, kPrinted) << where(cell);
        }
    }
    for (int rate : c.rates) EXPECT_EQ(recommended_rows[rate], tones) << "one recommended line per tone at " << rate;
}

// 21000 Hz at 44 100 Hz lies above the highest centre the slider reaches with blocks
// of up to 4096 samples; 8000 Hz puts tones above half the rate and, with blocks
// longer than half a second, uses the exact spacing.
INSTANTIATE_TEST_SUITE_P(
    Rates, TableCells,
    ::testing::Values(TableCase{"the_release_rates", {"table"}, {44100, 48000, 96000}, 0, 0},
                      TableCase{"narrow_with_a_tone_out_of_reach",
                                {"table", "--rate", "44100", "--width", "5", "--tone", "21000"}, {44100}, 5, 1},
                      TableCase{"low_rates_wide", {"table", "--rate", "8000", "--rate", "32000", "--width", "256"},
                                {8000, 32000}, 256, 0}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.name); });

// The cases a user meets: the guide's example, and a narrow notch at FFT 14 that the
// 60 Hz hum's nearest centre misses (band 45.8 to 59.2 Hz), which half the band's width
// did not show.
TEST(Table, MarksWhatTheGuideAndTheUserRelyOn)
{
    TempFolder dir;
    const ToolRun plain = run_tool({"table", "--rate", "48000"}, dir.path());
    const ToolRun narrow = run_tool({"table", "--rate", "44100", "--width", "5"}, dir.path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(narrow.status, 0) << narrow.err;
    struct Want {
        const ToolRun* run;
        int order;
        double tone;
        bool recommended;
        int frequency;
        bool outside;
    };
    const Want wants[] = {
        {&plain, 13, 1000, true, 68, false},
        {&plain, 13, 1000, false, 68, false},
        {&narrow, 14, 60, false, 4, true},
        {&narrow, 13, 60, false, 4, false},
        {&narrow, 14, 50, false, 4, false},
    };
    for (const Want& w : wants) {
        bool seen = false;
        for (const Cell& c : parse_table(w.run->out).cells) {
            if (c.order != w.order || c.tone != w.tone || c.recommended != w.recommended) continue;
            seen = true;
            EXPECT_EQ(c.frequency, w.frequency) << where(c);
            EXPECT_EQ(c.outside, w.outside) << where(c);
        }
        EXPECT_TRUE(seen) << "FFT " << w.order << ", tone " << w.tone;
    }
}

TEST(Table, HelpExplainsEveryColumnAndMark)
{
    TempFolder dir;
    const ToolRun run = run_tool({"table", "--help"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* column : {"周波数 (frequency)", "幅 (width)", "中心 Hz (centre)", "削る範囲 Hz (band)", "周波数/幅"})
        EXPECT_NE(run.out.find(column), std::string::npos) << column << "\n" << run.out;
    for (const char* mark : {"\n  *  ", "\n  !  ", "\n  -  "})
        EXPECT_NE(run.out.find(mark), std::string::npos) << "the legend of '" << mark[3] << "'\n" << run.out;
}

// What the table's alignment rests on: the columns a string takes in a Japanese
// editor's monospace font.
TEST(Table, DisplayWidthCountsJapaneseTwoColumnsWide)
{
    struct Case {
        const char* text;
        int columns;
    };
    const Case cases[] = {
        {"", 0},
        {"FFT 13", 6},
        {"周波数", 6},                    // kanji
        {"フェード", 8},                  // katakana and the long-vowel mark
        {"ハム 50 Hz（東日本）", 20},     // full-width parentheses
        {"300～3400 Hz", 12},             // full-width tilde
        {"【44.1 kHz】", 12},             // CJK brackets
        {"\xf0\xa0\x80\x8b", 2},          // an ideograph beyond the 16-bit range
        {"x1.35", 5},
    };
    for (const Case& c : cases) EXPECT_EQ(display_width(c.text), c.columns) << c.text;
    EXPECT_EQ(pad_right("幅", 5), "幅   ");
    EXPECT_EQ(pad_left("幅", 5), "   幅");
    EXPECT_EQ(pad_right("周波数", 4), "周波数 ") << "too wide: kept whole, one space after";
}
