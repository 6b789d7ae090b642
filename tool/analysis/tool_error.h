#pragma once
// The failures the tool reports to its user. main() prints "tulm: error: <what>", so
// `what` is one sentence without a trailing full stop, and exits with status 2 for a
// UsageError (the command line is wrong whatever the files) and 1 for any other
// ToolError (a file that does not allow the work, a module that does not load).
#include <stdexcept>
#include <string>

struct ToolError : std::runtime_error {
    explicit ToolError(const std::string& what) : std::runtime_error(what) {}
};

// A value on the command line that does not parse or lies outside its option's range.
struct UsageError : ToolError {
    explicit UsageError(const std::string& what) : ToolError(what) {}
};
