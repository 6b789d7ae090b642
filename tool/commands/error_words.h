#pragma once
// The tool's failures in the command line's words: English, naming the options of the
// command that failed and none that it does not have.
#include <string>

#include "tool/analysis/tool_error.h"
#include "tool/commands/options.h"

// The one sentence main() prints for `e` (no trailing full stop), for a command whose
// settings options are `set`.
std::string error_sentence(const ToolError& e, OptionSet set = kAllSettings);
