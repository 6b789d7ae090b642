// Files that appear whole or not at all.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tool/analysis/tool_error.h"
#include "tool/io/output_file.h"
#include "tool_runner.h"

TEST(OutputFile, UncommittedLeavesTheDestinationAsItWas)
{
    TempFolder dir;
    const std::string dest = dir / "keep.txt";
    {
        OutputFile before(dest);
        before.write_text("precious");
        before.commit();
    }
    {
        OutputFile f(dest);
        f.write_text("half-written");
        EXPECT_EQ(dir.entries().size(), 2u) << "the temporary lives beside the destination";
    }
    EXPECT_EQ(read_text(dest), "precious");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.txt"});
}

TEST(OutputFile, CommitReplacesTheDestination)
{
    TempFolder dir;
    const std::string dest = dir / "out.txt";
    OutputFile first(dest);
    first.write_text("one");
    first.commit();
    OutputFile second(dest);
    second.write_text("two");
    EXPECT_EQ(read_text(dest), "one");
    second.commit();
    EXPECT_EQ(read_text(dest), "two");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.txt"});
}

TEST(OutputFile, RefusesAFolderOrAMissingFolder)
{
    TempFolder dir;
    EXPECT_THROW(OutputFile f(dir.path()), ToolError);
    EXPECT_THROW(OutputFile f(dir / "no/such/file.wav"), ToolError);
    EXPECT_TRUE(dir.entries().empty());
}

// A file is replaced only when that cannot defeat its protection or part its names;
// otherwise it is refused before anything is written, and stays as it was.
TEST(OutputFile, RefusesWhatReplacingWouldHarm)
{
    const struct {
        const char* name;
        mode_t mode;
        bool second_name;
        bool refused;
    } cases[] = {
        {"writable", 0644, false, false},
        {"owner_may_not_write", 0444, false, true},
        {"only_others_may_write", 0466, false, true},
        {"two_names", 0644, true, true},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        const std::string dest = dir / "out.wav";
        std::ofstream(dest) << "old";
        if (c.second_name) {
            ASSERT_EQ(link(dest.c_str(), (dir / "other.wav").c_str()), 0);
        }
        ASSERT_EQ(chmod(dest.c_str(), c.mode), 0);
        const std::vector<std::string> before = dir.entries();
        if (c.refused) {
            EXPECT_THROW(OutputFile f(dest), ToolError) << c.name;
            EXPECT_EQ(read_text(dest), "old") << c.name;
            EXPECT_EQ(dir.entries(), before) << c.name;
        } else {
            OutputFile f(dest);
            f.write_text("new");
            f.commit();
            EXPECT_EQ(read_text(dest), "new") << c.name;
        }
    }
}
