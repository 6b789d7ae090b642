// Files that appear whole or not at all.
#include <gtest/gtest.h>

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
