#pragma once
// Where the tool's results go, written as a careful Unix tool writes them.
//
// A regular file, or a name that does not exist yet, is written under a temporary name
// in its own folder (so the final rename stays on one file system and is atomic) and
// renamed over the destination only when every output of the command is complete; it
// keeps the permission bits of the file it replaces. The temporary is synced to the disk
// before the rename and the folder after it, so a crash leaves the old file or the new
// one, never an empty one. Anything else (a device, a FIFO,
// "-" for standard output) is written into directly and never replaced. A symlink is
// followed: the file it points to is what gets written. A regular file that is
// write-protected (no owner-write bit, or not writable for this user) or has other
// names (hard links) is refused before any work, since replacing it would defeat the
// protection or leave the other names with the old contents.
//
// A temporary that is never committed is removed: on destruction, on an exception, and
// on every catchable signal that ends the process (SIGXFSZ and SIGPIPE included).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class OutputFile {
public:
    // Opens the destination (or creates the temporary) at once, so an unwritable folder
    // fails before any work. Throws ToolError.
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // The name the user gave, for messages.
    const std::string& path() const { return path_; }
    // False for a FIFO, a terminal or a pipe: nothing written can be rewritten.
    bool seekable() const { return seekable_; }

    // Byte output through a buffer; every failure throws ToolError naming the file.
    void write(const void* data, size_t size);
    // Moves the write position of a seekable destination.
    void seek(int64_t position);
    void write_text(const std::string& text) { write(text.data(), text.size()); }

    // Writes out what is buffered and closes the destination (checking both), then
    // renames the temporary into place. Throws ToolError.
    void commit();

private:
    void flush();

    std::string path_;   // as given
    std::string target_; // what gets replaced: the symlink's final file, or path_
    std::string temp_;   // empty when writing into the destination directly
    int fd_ = -1;
    bool seekable_ = true;
    int slot_ = -1;
    size_t limit_ = 0; // bytes held before they are written
    std::vector<char> buffer_;
};

// One file name of a command: what the user gave, how the command line calls it ("IN",
// "--diff", ...), and whether the command writes it.
struct FileRole {
    std::string path;
    std::string label;
    bool written;
};

// Refuses, before anything is read, two of `files` (empty names skipped) that name the
// same file, the same path or the same device and inode, when at least one of the two
// is written. "-" stands for standard input or output and is compared through those.
// Throws ToolError.
void check_distinct_files(const std::vector<FileRole>& files);
