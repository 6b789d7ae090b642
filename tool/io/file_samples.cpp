#include "tool/io/file_samples.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/types.h>

#include "tool/analysis/tool_error.h"

namespace {

constexpr int64_t kReadChunk = 65536;

std::string spool_failure(const std::string& what)
{
    return std::string("standard input: cannot ") + what + " the temporary copy of what was read (" +
           std::strerror(errno) + ")";
}

} // namespace

FileSamples::FileSamples(AudioReader& reader, int64_t origin) : reader_(reader), origin_(origin)
{
    source_.rate = reader.rate();
    source_.channels = reader.channels();
    source_.frames = std::max<int64_t>(0, reader.frames() - origin);
    source_.fill = [this](int64_t first, int64_t end, int16_t* to) { fill(first, end, to); };
    if (reader.path() != "-") return;
    spool_ = std::tmpfile();
    if (!spool_) throw ToolError(spool_failure("create"));
    // A pipe is read through up to the origin once; what lies before it is never asked for.
    for (int64_t skipped = 0; skipped < origin;) {
        const int64_t got = reader_.read(&block_, std::min(kReadChunk, origin - skipped));
        if (got == 0) break;
        skipped += got;
    }
}

FileSamples::~FileSamples()
{
    if (spool_) std::fclose(spool_);
}

// Reads the pipe on to frame `end` (from origin), appending it to the spool.
void FileSamples::spool_to(int64_t end)
{
    if (fseeko(spool_, 0, SEEK_END) != 0) throw ToolError(spool_failure("write"));
    while (spooled_ < end) {
        const int64_t got = reader_.read(&block_, std::min(kReadChunk, end - spooled_));
        if (got == 0)
            throw ToolError(reader_.path() + ": the file ends at frame " + std::to_string(origin_ + spooled_) +
                            ", before its header's " + std::to_string(reader_.frames()));
        narrow_.resize(size_t(got) * size_t(source_.channels));
        to_16bit(block_, 0, got, narrow_.data(), &narrowing_);
        if (std::fwrite(narrow_.data(), sizeof(int16_t), narrow_.size(), spool_) != narrow_.size())
            throw ToolError(spool_failure("write"));
        spooled_ += got;
    }
}

void FileSamples::fill(int64_t first, int64_t end, int16_t* to)
{
    const size_t channels = size_t(source_.channels);
    if (spool_) {
        spool_to(end);
        const size_t values = size_t(end - first) * channels;
        if (fseeko(spool_, off_t(first) * off_t(channels * sizeof(int16_t)), SEEK_SET) != 0 ||
            std::fread(to, sizeof(int16_t), values, spool_) != values)
            throw ToolError(spool_failure("read"));
        return;
    }
    if (position_ != first) reader_.seek(origin_ + first);
    for (int64_t at = first; at < end;) {
        const int64_t got = reader_.read(&block_, std::min(kReadChunk, end - at));
        if (got == 0)
            throw ToolError(reader_.path() + ": the file ends at frame " + std::to_string(origin_ + at) +
                            ", before its header's " + std::to_string(reader_.frames()));
        to_16bit(block_, 0, got, to + size_t(at - first) * channels, &narrowing_);
        at += got;
    }
    position_ = end;
}
