// docs/detect.md's parameter table is DetectParams: every field, in order, with the
// default the struct gives it and the unit and meaning its descriptor gives. A field
// added, renamed or re-tuned without the page fails here, and the failure prints the row
// the page should hold.
#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tool/analysis/detect_param_table.h"

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

std::string page_row(const DetectParamInfo& p)
{
    return fmt::format("| `{}` | {:g} | {} | {} |", p.name, DetectParams{}.*p.field, p.unit, p.meaning);
}

} // namespace

// The descriptor names every field once: as many rows as the struct holds values, no
// field twice and no name twice.
TEST(DetectDoc, DescriptorCoversEveryField)
{
    constexpr size_t rows = sizeof kDetectParamTable / sizeof kDetectParamTable[0];
    EXPECT_EQ(sizeof(DetectParams), rows * sizeof(double)) << "a field of DetectParams has no row in detect_param_table.h";
    std::set<std::string> names;
    std::set<size_t> offsets;
    const DetectParams p;
    for (const DetectParamInfo& info : kDetectParamTable) {
        EXPECT_TRUE(names.insert(info.name).second) << info.name;
        const size_t at = size_t(reinterpret_cast<const char*>(&(p.*info.field)) - reinterpret_cast<const char*>(&p));
        EXPECT_TRUE(offsets.insert(at).second) << info.name << " names a field another row names";
        EXPECT_FALSE(std::string(info.unit).empty()) << info.name;
        EXPECT_FALSE(std::string(info.meaning).empty()) << info.name;
    }
}

TEST(DetectDoc, ParameterTableIsTheDescriptor)
{
    const std::vector<Row> doc = doc_rows(read_file(TULM_SOURCE_DIR "/docs/detect.md"));
    const DetectParams defaults;
    ASSERT_EQ(doc.size(), sizeof kDetectParamTable / sizeof kDetectParamTable[0]);
    for (size_t i = 0; i < doc.size(); ++i) {
        const DetectParamInfo& p = kDetectParamTable[i];
        const std::string want = "\nthe page's row should read\n" + page_row(p);
        EXPECT_EQ(doc[i].name, p.name) << i << want;
        EXPECT_EQ(std::stod(doc[i].value), defaults.*p.field) << doc[i].name << want;
        EXPECT_EQ(doc[i].unit, p.unit) << doc[i].name << want;
        EXPECT_EQ(doc[i].meaning, p.meaning) << doc[i].name << want;
    }
}
