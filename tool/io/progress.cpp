#include "tool/io/progress.h"

#include <cstdio>
#include <unistd.h>

namespace {
constexpr auto kDelay = std::chrono::milliseconds(500);
constexpr auto kRedraw = std::chrono::milliseconds(200);
constexpr int kBarWidth = 30;
}

Progress::Progress(std::string label, int64_t total, bool quiet)
    : label_(std::move(label)), total_(total > 0 ? total : 1), terminal_(!quiet && isatty(2) != 0),
      start_(std::chrono::steady_clock::now()), last_draw_(start_)
{
}

Progress::~Progress() { finish(); }

void Progress::advance(int64_t work)
{
    done_ += work;
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < kDelay || (shown_ && now - last_draw_ < kRedraw)) return;
    last_draw_ = now;
    draw();
}

void Progress::draw()
{
    shown_ = true;
    const double part = done_ < 0 ? 0.0 : done_ > total_ ? 1.0 : double(done_) / double(total_);
    const int filled = int(part * kBarWidth);
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar, int(part * 100.0));
    std::fflush(stderr);
}

void Progress::finish()
{
    if (!shown_) return;
    shown_ = false;
    std::fprintf(stderr, "\r%*s\r", int(label_.size()) + kBarWidth + 8, "");
    std::fflush(stderr);
}
