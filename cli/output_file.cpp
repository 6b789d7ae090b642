#include "cli/output_file.h"

#include <csignal>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/tool_error.h"

namespace {

// Temporaries still to be removed if a signal ends the process. Plain char arrays,
// because the handler may only call async-signal-safe functions.
constexpr int kSlots = 8;
constexpr int kPathMax = 4096;
char g_pending[kSlots][kPathMax];
volatile sig_atomic_t g_pending_used[kSlots];

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
        // A signal the caller chose to ignore (nohup, a background job) stays ignored.
        for (int sig : {SIGINT, SIGTERM, SIGHUP})
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

} // namespace

OutputFile::OutputFile(const std::string& path) : path_(path)
{
    struct stat st;
    if (path.empty() || path.back() == '/' || (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
        throw ToolError(path + ": is a folder, not a file name");
    const std::string folder = folder_of(path);
    // A leading dot keeps the half-written file out of casual listings.
    std::string pattern = folder + "/." + name_of(path) + ".tmp-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw ToolError(path + ": cannot write in " + folder + " (" + std::strerror(errno) + ")");
    // mkstemp makes the file private; the finished file gets the permissions any new
    // file of this user would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    temp_ = pattern;
    slot_ = claim_slot(temp_);
}

OutputFile::~OutputFile()
{
    if (!committed_) unlink(temp_.c_str());
    if (slot_ >= 0) g_pending_used[slot_] = 0;
}

void OutputFile::write_text(const std::string& text)
{
    FILE* f = std::fopen(temp_.c_str(), "wb");
    if (!f) throw ToolError(path_ + ": cannot write (" + std::strerror(errno) + ")");
    const size_t put = std::fwrite(text.data(), 1, text.size(), f);
    if (std::fclose(f) != 0 || put != text.size()) throw ToolError(path_ + ": writing failed (disk full?)");
}

void OutputFile::commit()
{
    if (std::rename(temp_.c_str(), path_.c_str()) != 0)
        throw ToolError(path_ + ": cannot replace (" + std::strerror(errno) + ")");
    committed_ = true;
    if (slot_ >= 0) g_pending_used[slot_] = 0;
    slot_ = -1;
}
