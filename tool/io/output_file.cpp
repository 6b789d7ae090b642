#include "tool/io/output_file.h"

#include <algorithm>
#include <climits>
#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tool/analysis/tool_error.h"

namespace {

// Temporaries still to be removed if a signal ends the process. Plain char arrays,
// because the handler may only call async-signal-safe functions.
constexpr int kSlots = 8;
constexpr int kPathMax = 4096;
char g_pending[kSlots][kPathMax];
volatile sig_atomic_t g_pending_used[kSlots];

constexpr size_t kBufferBytes = size_t(1) << 20;
// A pipe or a terminal is handed the output as it is made, so that a slow reader (a
// player) paces the work that the progress bar shows, instead of one long final wait.
constexpr size_t kStreamBufferBytes = size_t(1) << 16;
constexpr int kMaxSymlinks = 40;

void remove_pending(int sig)
{
    for (int i = 0; i < kSlots; ++i)
        if (g_pending_used[i]) unlink(g_pending[i]);
    signal(sig, SIG_DFL);
    raise(sig);
}

int claim_slot(const std::string& temp)
{
    static bool handlers = false;
    if (!handlers) {
        handlers = true;
        // Every signal that ends the process and can be caught, a file size limit's
        // SIGXFSZ and a closed pipe's SIGPIPE included. One the caller chose to ignore
        // (nohup, a background job, a limit to be met with EFBIG) stays ignored.
        for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGXCPU, SIGALRM, SIGUSR1, SIGUSR2,
                        SIGVTALRM, SIGPROF})
            if (signal(sig, remove_pending) == SIG_IGN) signal(sig, SIG_IGN);
    }
    if (temp.size() >= size_t(kPathMax)) return -1;
    for (int i = 0; i < kSlots; ++i) {
        if (g_pending_used[i]) continue;
        std::memcpy(g_pending[i], temp.c_str(), temp.size() + 1);
        g_pending_used[i] = 1;
        return i;
    }
    return -1;
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string why() { return std::strerror(errno); }

// The file a chain of symlinks ends at (the path itself when it is none).
std::string follow_symlinks(const std::string& path)
{
    std::string at = path;
    for (int hop = 0; hop < kMaxSymlinks; ++hop) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
        const ssize_t len = readlink(at.c_str(), buf.data(), buf.size() - 1);
        if (len < 0) throw ToolError(path + ": cannot follow the symlink (" + why() + ")");
        const std::string to(buf.data(), size_t(len));
        at = (to.front() == '/' || at.find('/') == std::string::npos) ? to : folder_of(at) + "/" + to;
    }
    throw ToolError(path + ": too many levels of symlinks");
}

// A hidden name beside `target` for mkstemp, cut so that it fits the folder's name
// limit however long the target's own name is.
std::string temp_pattern(const std::string& target)
{
    const std::string folder = folder_of(target);
    const std::string suffix = ".tmp-XXXXXX";
    long limit = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    std::string name = name_of(target);
    const size_t room = size_t(limit) - 1 - suffix.size();
    if (name.size() > room) name.resize(room);
    return folder + "/." + name + suffix;
}

// A file is replaced only where `cp` would write into it, and only when replacing it
// changes what every one of its names holds. Write protection is honoured whoever runs
// the tool: root may write anything, but a file its owner made read-only is kept.
void refuse_to_replace(const std::string& path, const struct stat& st, const std::string& target)
{
    if (!(st.st_mode & S_IWUSR))
        throw ToolError(path + ": cannot replace it: permission denied (the file is write-protected; "
                               "make it writable with chmod u+w, or write to another name)");
    if (access(target.c_str(), W_OK) != 0)
        throw ToolError(path + ": cannot replace it: permission denied (the file is not writable for you; "
                               "write to another name)");
    if (st.st_nlink > 1)
        throw ToolError(path + ": the file has " + std::to_string(st.st_nlink) +
                        " names (hard links), and a new file under this one would leave the others with the old "
                        "audio; remove the other names, or write to another name");
}

// Makes the rename itself durable. The new file is in place whatever this gives: a
// file system that cannot sync a folder (EINVAL) is no failure of the write.
void sync_folder(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path)
{
    limit_ = kBufferBytes;
    buffer_.reserve(kBufferBytes);
    if (path == "-") {
        fd_ = STDOUT_FILENO;
        seekable_ = lseek(fd_, 0, SEEK_CUR) >= 0;
        if (!seekable_) limit_ = kStreamBufferBytes;
        return;
    }
    if (path.empty() || path.back() == '/') throw ToolError("'" + path + "' is a folder, not a file name");
    target_ = follow_symlinks(path);
    struct stat st;
    const bool exists = stat(target_.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) throw ToolError(path + ": is a folder, not a file name");
    if (exists && S_ISREG(st.st_mode)) refuse_to_replace(path, st, target_);
    if (exists && !S_ISREG(st.st_mode)) {
        // A device or a FIFO is written into, never replaced by a regular file.
        fd_ = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd_ < 0) throw ToolError(path + ": cannot write (" + why() + ")");
        seekable_ = lseek(fd_, 0, SEEK_CUR) >= 0;
        if (!seekable_) limit_ = kStreamBufferBytes;
        return;
    }
    std::string pattern = temp_pattern(target_);
    fd_ = mkstemp(pattern.data());
    if (fd_ < 0) throw ToolError(path + ": cannot write in " + folder_of(target_) + " (" + why() + ")");
    temp_ = pattern;
    slot_ = claim_slot(temp_);
    // mkstemp makes the file private; the result keeps the bits of the file it
    // replaces, or gets those of any new file of this user.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
        if (fchown(fd_, st.st_uid, st.st_gid) != 0) mode &= 0777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd_, mode);
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0 && fd_ != STDOUT_FILENO) close(fd_);
    if (!temp_.empty()) unlink(temp_.c_str());
    if (slot_ >= 0) g_pending_used[slot_] = 0;
}

void OutputFile::flush()
{
    size_t done = 0;
    while (done < buffer_.size()) {
        const ssize_t put = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const std::string reason = why();
            buffer_.erase(buffer_.begin(), buffer_.begin() + std::ptrdiff_t(done));
            throw ToolError(path_ + ": writing failed (" + reason + ")");
        }
        done += size_t(put);
    }
    buffer_.clear();
}

void OutputFile::write(const void* data, size_t size)
{
    const char* from = static_cast<const char*>(data);
    while (size > 0) {
        if (buffer_.size() >= limit_) flush();
        const size_t take = std::min(size, limit_ - buffer_.size());
        buffer_.insert(buffer_.end(), from, from + take);
        from += take;
        size -= take;
    }
}

void OutputFile::seek(int64_t position)
{
    flush();
    if (!seekable_ || lseek(fd_, off_t(position), SEEK_SET) < 0)
        throw ToolError(path_ + ": cannot seek in the output (" + why() + ")");
}

void OutputFile::commit()
{
    flush();
    // The data reaches the disk before the name does: renamed first, a crash could
    // leave the name on an empty file where the old one was.
    if (!temp_.empty() && fsync(fd_) != 0) throw ToolError(path_ + ": writing failed (" + why() + ")");
    if (fd_ != STDOUT_FILENO) {
        const int closed = close(fd_);
        fd_ = -1;
        if (closed != 0) throw ToolError(path_ + ": writing failed (" + why() + ")");
    }
    if (temp_.empty()) return;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        throw ToolError(path_ + ": cannot replace (" + why() + ")");
    temp_.clear();
    if (slot_ >= 0) g_pending_used[slot_] = 0;
    slot_ = -1;
    sync_folder(folder_of(target_));
}

void check_distinct_files(const std::vector<FileRole>& files)
{
    struct Seen {
        bool exists;
        struct stat st;
    };
    std::vector<Seen> seen(files.size());
    for (size_t i = 0; i < files.size(); ++i) {
        const FileRole& f = files[i];
        if (f.path == "-")
            seen[i].exists = fstat(f.written ? STDOUT_FILENO : STDIN_FILENO, &seen[i].st) == 0;
        else
            seen[i].exists = !f.path.empty() && stat(f.path.c_str(), &seen[i].st) == 0;
    }
    for (size_t i = 0; i < files.size(); ++i)
        for (size_t j = i + 1; j < files.size(); ++j) {
            const FileRole& a = files[i];
            const FileRole& b = files[j];
            if (a.path.empty() || b.path.empty() || !(a.written || b.written)) continue;
            // "-" as input and as output are two streams; as two outputs, one.
            const bool same_path = a.path == b.path && (a.path != "-" || (a.written && b.written));
            // Devices and FIFOs are shared by design (standard input and output may both
            // be /dev/null); only a regular file can be harmed by being read and written.
            const bool same_file = seen[i].exists && seen[j].exists && S_ISREG(seen[i].st.st_mode) &&
                                   seen[i].st.st_dev == seen[j].st.st_dev &&
                                   seen[i].st.st_ino == seen[j].st.st_ino;
            if (same_path || same_file)
                throw ToolError(a.label + " and " + b.label + " name the same file (" + b.path +
                                "); give each its own file");
        }
}
