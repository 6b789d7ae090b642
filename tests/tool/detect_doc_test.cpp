// docs/detect.md's parameter table is DetectParams: every field, in order, with the
// default the struct gives it and the unit and meaning its comment gives. A field added,
// renamed or re-tuned without the page fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tool/analysis/detect_params.h"

namespace {

struct Row {
    std::string name, value, unit, meaning;
};

std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The fields of DetectParams as its header declares them: name, default, and the
// comment (continued on the lines after it), whose leading "unit:" is split off.
std::vector<Row> header_rows(const std::string& header)
{
    static const std::regex field(R"(^\s+(?:int32_t|double)\s+(\w+)\s*=\s*([^;]+);\s*//\s*(.*)$)");
    static const std::regex more(R"(^\s{20,}//\s*(.*)$)");
    static const std::regex unit(R"(^(Hz/s|Hz|dB|dBFS|s|sample frames|frames|bins|count|quantile|ratio|1/s|order|share|probability): (.*)$)");
    std::vector<Row> rows;
    std::istringstream lines(header.substr(header.find("struct DetectParams {")));
    std::smatch m;
    for (std::string line; std::getline(lines, line);) {
        if (std::regex_match(line, m, field)) {
            rows.push_back(Row{m[1], m[2], "", m[3]});
        } else if (!rows.empty() && std::regex_match(line, m, more)) {
            rows.back().meaning += " " + m[1].str();
        } else {
            continue;
        }
        Row& r = rows.back();
        if (r.unit.empty() && std::regex_match(r.meaning, m, unit)) {
            r.unit = m[1];
            r.meaning = m[2];
        }
    }
    for (Row& r : rows)
        if (r.unit.empty())
            r.unit = r.meaning.rfind("share", 0) == 0 || r.meaning.rfind("of ", 0) == 0 ? "share"
                     : r.name.size() > 5 && r.name.compare(r.name.size() - 5, 5, "_bins") == 0     ? "bins"
                     : r.name.size() > 7 && r.name.compare(r.name.size() - 7, 7, "_frames") == 0   ? "frames"
                                                                                                     : "";
    return rows;
}

std::vector<Row> doc_rows(const std::string& doc)
{
    static const std::regex row(R"(^\| `(\w+)` \| ([^|]+) \| ([^|]*) \| (.*) \|$)");
    std::vector<Row> rows;
    std::istringstream lines(doc);
    std::smatch m;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_match(line, m, row)) rows.push_back(Row{m[1], m[2], m[3], m[4]});
    return rows;
}

TEST(DetectDoc, ParameterTableIsDetectParams)
{
    const std::vector<Row> header = header_rows(read_file(TULM_SOURCE_DIR "/tool/analysis/detect_params.h"));
    const std::vector<Row> doc = doc_rows(read_file(TULM_SOURCE_DIR "/docs/detect.md"));
    ASSERT_GT(header.size(), 10u);
    ASSERT_EQ(doc.size(), header.size());
    for (size_t i = 0; i < doc.size(); ++i) {
        EXPECT_EQ(doc[i].name, header[i].name) << i;
        EXPECT_EQ(doc[i].value, header[i].value) << doc[i].name;
        EXPECT_EQ(doc[i].unit, header[i].unit) << doc[i].name;
        EXPECT_EQ(doc[i].meaning, header[i].meaning) << doc[i].name;
    }
    // The header's text is the struct's defaults: a few read back through it.
    const DetectParams p;
    const std::pair<const char*, double> some[] = {
        {"tone_db", p.tone_db}, {"steady_hz", p.steady_hz}, {"surround_seconds", p.surround_seconds},
        {"shortest_seconds", p.shortest_seconds}, {"quietest_dbfs", p.quietest_dbfs}};
    for (const auto& [name, value] : some) {
        const auto row = std::find_if(header.begin(), header.end(), [&](const Row& r) { return r.name == name; });
        ASSERT_NE(row, header.end()) << name;
        EXPECT_EQ(std::stod(row->value), value) << name;
    }
}

} // namespace
