// `tulm table` against the plug-in's notch placement worked out here from its rules,
// so that a slip in the tool's own copy of that arithmetic shows as a wrong row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tool_runner.h"

namespace {

// The frequency slider's range, and the common tones every table lists.
constexpr int kLowestFrequency = 1, kHighestFrequency = 1800;
constexpr int kCommonTones = 18;
constexpr int kOrders = 6;
// The table prints Hz to one decimal.
constexpr double kPrinted = 0.0501;

struct Row {
    int rate = 0, order = 0;
    double tone = 0;
    bool placed = false;  // false: a "-" row
    int frequency = 0;
    double centre = 0, off = 0, low = 0, high = 0;
    bool marked = false;
};

// Every row of the table, with the rate and FFT order of the block it stands in.
std::vector<Row> parse_rows(const std::string& text)
{
    std::vector<Row> rows;
    std::istringstream lines(text);
    int rate = 0, order = 0;
    for (std::string line; std::getline(lines, line);) {
        int r = 0, k = 0;
        if (std::sscanf(line.c_str(), "%d Hz, FFT %d (", &r, &k) == 2) {
            rate = r;
            order = k;
            continue;
        }
        std::istringstream words(line);
        Row row;
        std::string frequency;
        if (order == 0 || !(words >> row.tone >> frequency)) continue;
        row.rate = rate;
        row.order = order;
        if (frequency != "-") {
            std::string dash, mark;
            row.placed = true;
            row.frequency = std::atoi(frequency.c_str());
            words >> row.centre >> row.off >> row.low >> dash >> row.high >> mark;
            row.marked = mark == "*";
        }
        rows.push_back(row);
    }
    return rows;
}

struct Expected {
    int frequency = 0;  // 0: no slider value places the notch
    double centre = 0, low = 0, high = 0;
};

// The plug-in's placement: entry spacing (rate / 2) / N truncated to whole Hz, or the
// exact rate / 2N when that truncates to 0; centre entry trunc(f x 10 / spacing + 0.5),
// kept only below N; entry e lies in bin e / 2 of rate / N Hz. The nearest centre wins,
// a tie going to the value whose f x 10 Hz is nearer the tone.
Expected nearest(int rate, int order, int width, double tone)
{
    const int n = 1 << order;
    const int whole = rate / 2 / n;
    const double spacing = whole > 0 ? whole : rate / (2.0 * n);
    const double bin = double(rate) / n;
    Expected best;
    double best_miss = 0;
    for (int f = kLowestFrequency; f <= kHighestFrequency; ++f) {
        const int c = int(f * 10 / spacing + 0.5);
        if (c >= n) continue;
        const double centre = c * bin / 2;
        const double miss = std::fabs(centre - tone);
        if (best.frequency == 0 || miss < best_miss ||
            (miss == best_miss && std::fabs(f * 10 - tone) < std::fabs(best.frequency * 10 - tone))) {
            best_miss = miss;
            best.frequency = f;
            best.centre = centre;
            best.low = std::max(c - width, 0) / 2 * bin;
            best.high = std::min(c + width, n - 1) / 2 * bin;
        }
    }
    return best;
}

struct TableCase {
    const char* name;
    std::vector<std::string> args;
    std::vector<int> rates;
    int width;
    int extra_tones;
};

void PrintTo(const TableCase& c, std::ostream* os) { *os << c.name; }

class TableRows : public ::testing::TestWithParam<TableCase> {};

} // namespace

TEST(Table, HoldsTheReadmeExample)
{
    TempFolder dir;
    const ToolRun run = run_tool({"table", "--rate", "48000"}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    bool seen = false;
    for (const Row& row : parse_rows(run.out)) {
        if (row.rate != 48000 || row.order != 13 || row.tone != 1000) continue;
        seen = true;
        EXPECT_EQ(row.frequency, 68);
        EXPECT_NEAR(row.centre, 996.1, 0.05);
    }
    EXPECT_TRUE(seen) << run.out;
}

TEST_P(TableRows, EveryRowAsThePlugInPlacesTheNotch)
{
    const TableCase c = GetParam();
    TempFolder dir;
    const ToolRun run = run_tool(c.args, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<Row> rows = parse_rows(run.out);
    ASSERT_EQ(rows.size(), c.rates.size() * kOrders * (kCommonTones + c.extra_tones)) << run.out;

    int marked = 0;
    for (const Row& row : rows) {
        const std::string where = std::to_string(row.rate) + " Hz, FFT " + std::to_string(row.order) + ", tone " +
                                  std::to_string(row.tone);
        EXPECT_NE(std::find(c.rates.begin(), c.rates.end(), row.rate), c.rates.end()) << where;
        if (row.tone >= row.rate / 2.0) {
            EXPECT_FALSE(row.placed) << where;
            continue;
        }
        const Expected e = nearest(row.rate, row.order, c.width, row.tone);
        ASSERT_TRUE(row.placed) << where;
        EXPECT_EQ(row.frequency, e.frequency) << where;
        EXPECT_NEAR(row.centre, e.centre, kPrinted) << where;
        EXPECT_NEAR(row.off, e.centre - row.tone, kPrinted) << where;
        EXPECT_NEAR(row.low, e.low, kPrinted) << where;
        EXPECT_NEAR(row.high, e.high, kPrinted) << where;
        EXPECT_EQ(row.marked, std::fabs(e.centre - row.tone) > (e.high - e.low) / 2) << where;
        marked += row.marked;
    }
    if (c.extra_tones) {
        EXPECT_GT(marked, 0) << "a tone past every centre must be marked";
    }
}

// 21000 Hz at 44 100 Hz lies above the highest centre the slider reaches with blocks
// of up to 4096 samples; 8000 Hz puts tones above half the rate and, with blocks
// longer than half a second, uses the exact spacing.
INSTANTIATE_TEST_SUITE_P(
    Rates, TableRows,
    ::testing::Values(TableCase{"both_release_rates", {"table"}, {44100, 48000}, 30, 0},
                      TableCase{"narrow_with_a_tone_out_of_reach",
                                {"table", "--rate", "44100", "--width", "5", "--tone", "21000"}, {44100}, 5, 1},
                      TableCase{"low_rate_wide", {"table", "--rate", "8000", "--rate", "32000", "--width", "256"},
                                {8000, 32000}, 256, 0}),
    [](const ::testing::TestParamInfo<TableCase>& info) { return std::string(info.param.name); });
