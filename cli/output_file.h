#pragma once
// Files that appear whole or not at all. Each is written under a temporary name in the
// destination's own folder (so the final rename stays on one file system and is atomic)
// and renamed over the destination only when every output of the command is complete.
// A temporary that is never committed is removed: on destruction, on an exception, and
// on SIGINT, SIGTERM or SIGHUP.
#include <string>

class OutputFile {
public:
    // Creates the temporary at once, so an unwritable folder fails before any work.
    // Throws ToolError.
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    const std::string& path() const { return path_; }
    const std::string& temp_path() const { return temp_; }
    // Writes `text` to the temporary, replacing what it held. Throws ToolError.
    void write_text(const std::string& text);
    // Renames the temporary over the destination. Throws ToolError.
    void commit();

private:
    std::string path_;
    std::string temp_;
    int slot_ = -1;
    bool committed_ = false;
};
