#pragma once
// A progress bar on stderr for long work. It stays silent when stderr is not a
// terminal, and appears only once the work has run for half a second, so short runs
// and scripted runs print nothing.
#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    Progress(std::string label, int64_t total);
    ~Progress();
    void update(int64_t done);
    // Clears the bar's line.
    void finish();

private:
    std::string label_;
    int64_t total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};
