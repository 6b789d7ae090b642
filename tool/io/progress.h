#pragma once
// One progress bar on stderr over a whole job, counted in units of work (the tool
// counts sample frames read, processed and written). It stays silent when stderr is
// not a terminal or the user asked for quiet, appears only once the work has run for
// half a second, and redraws a few times a second.
#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    Progress(std::string label, int64_t total, bool quiet);
    ~Progress();
    void advance(int64_t work);
    // Clears the bar's line.
    void finish();

private:
    void draw();

    std::string label_;
    int64_t total_;
    int64_t done_ = 0;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_draw_;
};
