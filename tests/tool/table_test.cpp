// `tulm table` against the notch as the plug-in's own plan places it (the reference in
// tests/support), read through `--json`, so that a slip in the tool's own copy of that
// arithmetic shows as a wrong cell; and the text against the JSON, each grid cell under
// its heading, a kanji counting two columns.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <sstream>

#include "notch_reference.h"
#include "tool/analysis/measure.h"
#include "tool/analysis/suggest.h"
#include "tool/report/text_columns.h"
#include "tool_runner.h"

namespace {

using nlohmann::json;

// The FFT orders the grids list, and the one the recommended block is for.
constexpr int kLowestOrder = 9, kHighestOrder = 14;
constexpr int kRecommendedOrder = 13;
constexpr int kCommonTones = 18;
// The JSON gives Hz to three decimals.
constexpr double kPrinted = 0.0006;

json table_json(const std::vector<std::string>& args, const std::string& dir)
{
    std::vector<std::string> with = args;
    with.push_back("--json");
    const ToolRun run = run_tool(with, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out);
}

std::string where(const json& cell, bool recommended)
{
    return cell.dump() + (recommended ? " (recommended)" : "");
}

// One cell against the reference placement with `width` (0: the narrowest covering).
void expect_cell(const json& cell, int width, bool recommended)
{
    const int rate = cell.at("rate"), order = cell.at("fft_order");
    const double tone = cell.at("tone_hz");
    const ReferenceNotch e = reference_placement(rate, order, tone, width, kGuardBins);
    if (tone >= rate / 2.0 || e.frequency == 0) {
        EXPECT_FALSE(cell.at("placed").get<bool>()) << where(cell, recommended);
        EXPECT_TRUE(cell.at("frequency").is_null()) << where(cell, recommended);
        return;
    }
    ASSERT_TRUE(cell.at("placed").get<bool>()) << where(cell, recommended);
    EXPECT_EQ(cell.at("frequency"), e.frequency) << where(cell, recommended);
    EXPECT_EQ(cell.at("width"), e.width) << where(cell, recommended);
    EXPECT_NEAR(cell.at("centre_hz").get<double>(), e.centre_hz, kPrinted) << where(cell, recommended);
    EXPECT_NEAR(cell.at("low_hz").get<double>(), e.low_hz, kPrinted) << where(cell, recommended);
    EXPECT_NEAR(cell.at("high_hz").get<double>(), e.high_hz, kPrinted) << where(cell, recommended);
    EXPECT_EQ(cell.at("tone_outside_band"), tone < e.low_hz || tone > e.high_hz) << where(cell, recommended);
    EXPECT_EQ(cell.at("reaches_speech_band"), e.high_hz >= kSpeechLowHz && e.low_hz <= kSpeechHighHz)
        << where(cell, recommended);
}

struct TableCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> rates;
    int width; // 0: the narrowest covering width in the grids
    int extra_tones;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class TableCells : public ::testing::TestWithParam<TableCase> {};

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

// The grid cell as the text writes it, from the JSON.
std::string grid_word(const json& cell)
{
    if (!cell.at("placed").get<bool>()) return "-";
    return std::to_string(cell.at("frequency").get<int>()) + "/" + std::to_string(cell.at("width").get<int>()) +
           (cell.at("tone_outside_band").get<bool>() ? "*" : "") + (cell.at("reaches_speech_band").get<bool>() ? "!" : "");
}

} // namespace

TEST_P(TableCells, EveryCellAsThePlugInPlacesTheNotch)
{
    const TableCase c = GetParam();
    TempFolder dir;
    const json j = table_json(c.args, dir.path());
    const size_t tones = kCommonTones + c.extra_tones;
    const size_t orders = kHighestOrder - kLowestOrder + 1;
    ASSERT_EQ(j.at("tones").size(), tones);
    EXPECT_EQ(j.at("rates"), json(c.rates));
    EXPECT_EQ(j.at("recommended_fft_order"), kRecommendedOrder);
    ASSERT_EQ(j.at("recommended").size(), c.rates.size() * tones);
    ASSERT_EQ(j.at("grid").size(), c.rates.size() * tones * orders);

    std::map<int, size_t> recommended_rows;
    for (const json& cell : j.at("recommended")) {
        EXPECT_EQ(cell.at("fft_order"), kRecommendedOrder);
        recommended_rows[cell.at("rate").get<int>()] += 1;
        expect_cell(cell, 0, true);
    }
    for (int rate : c.rates) EXPECT_EQ(recommended_rows[rate], tones) << "one recommended line per tone at " << rate;
    std::map<int, size_t> per_order;
    for (const json& cell : j.at("grid")) {
        per_order[cell.at("fft_order").get<int>()] += 1;
        expect_cell(cell, c.width, false);
    }
    for (int order = kLowestOrder; order <= kHighestOrder; ++order)
        EXPECT_EQ(per_order[order], c.rates.size() * tones) << "FFT " << order;
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

// The text holds the JSON's cells, each under its "FFT k" heading counted in display
// columns, and no character a Japanese editor draws at another width.
TEST(Table, TextLinesUpTheSameCells)
{
    TempFolder dir;
    const std::vector<std::string> args = {"table", "--rate", "44100", "--rate", "48000", "--tone", "21000"};
    const ToolRun text = run_tool(args, dir.path());
    ASSERT_EQ(text.status, 0) << text.err;
    const json j = table_json(args, dir.path());
    std::map<std::pair<int, int>, std::vector<std::string>> words; // (rate, order) -> cells, lowest tone first
    for (const json& cell : j.at("grid")) words[{cell.at("rate"), cell.at("fft_order")}].push_back(grid_word(cell));

    std::istringstream lines(text.out);
    bool grid = false;
    int rate = 0;
    std::map<int, int> heads; // order -> column
    std::map<std::pair<int, int>, std::vector<std::string>> seen;
    for (std::string line; std::getline(lines, line);) {
        for (char32_t ch : code_points(line)) EXPECT_TRUE(ch < 0x80 || two_columns(ch)) << line;
        const std::string cols = by_columns(line);
        if (line.rfind("FFT ごと", 0) == 0) grid = true;
        if (!grid) continue;
        if (line.rfind("【", 0) == 0) {
            rate = int(std::lround(std::atof(line.c_str() + 3) * 1000));
            heads.clear();
        } else if (line.find("音 / tone") != std::string::npos) {
            for (int k = kLowestOrder; k <= kHighestOrder; ++k)
                heads[k] = int(cols.find("FFT " + std::to_string(k)));
        } else if (!heads.empty() && !line.empty()) {
            for (const auto& [order, column] : heads) {
                ASSERT_LT(size_t(column), cols.size()) << line;
                EXPECT_EQ(cols[size_t(column) - 1], ' ') << "FFT " << order << " not under its heading: " << line;
                seen[{rate, order}].push_back(cols.substr(size_t(column), cols.find(' ', size_t(column)) - column));
            }
        }
    }
    EXPECT_EQ(seen, words) << text.out;
}

// The cases a user meets: the guide's example, and a narrow notch at FFT 14 that the
// 60 Hz hum's nearest centre misses (band 45.8 to 59.2 Hz), which half the band's width
// did not show.
TEST(Table, MarksWhatTheGuideAndTheUserRelyOn)
{
    TempFolder dir;
    const json plain = table_json({"table", "--rate", "48000"}, dir.path());
    const json narrow = table_json({"table", "--rate", "44100", "--width", "5"}, dir.path());
    struct Want {
        const json* table;
        const char* block;
        int order;
        double tone;
        int frequency;
        bool outside;
    };
    const Want wants[] = {
        {&plain, "recommended", 13, 1000, 68, false}, {&plain, "grid", 13, 1000, 68, false},
        {&narrow, "grid", 14, 60, 4, true},           {&narrow, "grid", 13, 60, 4, false},
        {&narrow, "grid", 14, 50, 4, false},
    };
    for (const Want& w : wants) {
        bool seen = false;
        for (const json& c : w.table->at(w.block)) {
            if (c.at("fft_order") != w.order || c.at("tone_hz") != w.tone) continue;
            seen = true;
            EXPECT_EQ(c.at("frequency"), w.frequency) << c.dump();
            EXPECT_EQ(c.at("tone_outside_band"), w.outside) << c.dump();
        }
        EXPECT_TRUE(seen) << w.block << " FFT " << w.order << ", tone " << w.tone;
    }
}

TEST(Table, HelpExplainsEveryColumnAndMark)
{
    TempFolder dir;
    const ToolRun run = run_tool({"table", "--help"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    for (const char* column :
         {"周波数 (frequency)", "幅 (width)", "中心 Hz (centre)", "削る範囲 Hz (band)", "周波数/幅", "--json"})
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
        {"周波数", 6},                // kanji
        {"フェード", 8},              // katakana and the long-vowel mark
        {"ハム 50 Hz（東日本）", 20}, // full-width parentheses
        {"300～3400 Hz", 12},         // full-width tilde
        {"【44.1 kHz】", 12},         // CJK brackets
        {"\xf0\xa0\x80\x8b", 2},      // an ideograph beyond the 16-bit range
        {"x1.35", 5},
    };
    for (const Case& c : cases) EXPECT_EQ(display_width(c.text), c.columns) << c.text;
    EXPECT_EQ(pad_right("幅", 5), "幅   ");
    EXPECT_EQ(pad_left("幅", 5), "   幅");
    EXPECT_EQ(pad_right("周波数", 4), "周波数 ") << "too wide: kept whole, one space after";
}
