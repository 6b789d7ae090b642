#pragma once
// The one failure the tool reports to its user: a bad file, a bad setting, a module
// that does not load. main() prints "tulm: error: <what>" and exits with status 1, so
// `what` is one sentence without a trailing full stop.
#include <stdexcept>
#include <string>

struct ToolError : std::runtime_error {
    explicit ToolError(const std::string& what) : std::runtime_error(what) {}
};
