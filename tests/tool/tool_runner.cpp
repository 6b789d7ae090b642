#include "tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>

#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

TempFolder::TempFolder()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tulm-cli-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder()
{
    for (const std::string& name : entries()) unlink((path_ + "/" + name).c_str());
    rmdir(path_.c_str());
}

std::vector<std::string> TempFolder::entries() const
{
    std::vector<std::string> names;
    if (DIR* d = opendir(path_.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Outside the run's folder, so that the tests can see every file the tool leaves.
static std::string capture_file()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tulm-cli-capture-XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

// In a forked child: becomes `tool` with `args`, or exits with 127.
[[noreturn]] static void exec_tool(std::string tool, const std::vector<std::string>& args)
{
    std::vector<std::string> copy = args;
    std::vector<char*> argv{tool.data()};
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
}

ToolRun run_tool(const std::vector<std::string>& args, const std::string& cwd, const ToolSetup& setup)
{
    const std::string out_path = capture_file();
    const std::string err_path = capture_file();
    int feed[2] = {-1, -1};
    pid_t feeder = -1;
    if (setup.stdin_pipe) {
        if (pipe(feed) != 0) throw std::runtime_error("pipe failed");
        feeder = fork();
        if (feeder == 0) {
            // Copies the file into the pipe; a tool that stops reading ends it with EPIPE.
            signal(SIGPIPE, SIG_DFL);
            close(feed[0]);
            const int from = open(setup.stdin_path.c_str(), O_RDONLY);
            char buf[65536];
            ssize_t n;
            while (from >= 0 && (n = read(from, buf, sizeof buf)) > 0)
                if (write(feed[1], buf, size_t(n)) != n) break;
            _exit(0);
        }
        close(feed[1]);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = setup.stdin_pipe ? feed[0] : open(setup.stdin_path.c_str(), O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
        if (null < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(null, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (setup.file_size_limit > 0) {
            // Unless asked for the signal, a write past the limit fails with EFBIG
            // instead of killing the process.
            signal(SIGXFSZ, setup.size_limit_signal ? SIG_DFL : SIG_IGN);
            const rlimit limit{rlim_t(setup.file_size_limit), rlim_t(setup.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        if (setup.run_as_uid >= 0 && (setgroups(0, nullptr) != 0 || setgid(gid_t(setup.run_as_uid)) != 0 ||
                                       setuid(uid_t(setup.run_as_uid)) != 0))
            _exit(127);
        exec_tool(setup.program.empty() ? TULM_TOOL : setup.program, args);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (feeder > 0) {
        close(feed[0]);
        waitpid(feeder, nullptr, 0);
    }
    ToolRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = read_text(out_path);
    run.err = read_text(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
    return run;
}

ToolRun run_tool_on_terminal(const std::vector<std::string>& args, const std::string& cwd, int hold_ms)
{
    int terminal = -1, terminal_side = -1, out[2];
    if (openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr) != 0 || pipe(out) != 0)
        throw std::runtime_error("openpty or pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDONLY);
        if (null < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(null, 0);
        dup2(out[1], 1);
        dup2(terminal_side, 2);
        close(out[0]);
        close(terminal);
        exec_tool(TULM_TOOL, args);
    }
    close(out[1]);
    close(terminal_side);
    ToolRun run;
    const auto start = std::chrono::steady_clock::now();
    bool out_open = true, terminal_open = true;
    char buf[65536];
    while (out_open || terminal_open) {
        const bool holding = std::chrono::steady_clock::now() - start < std::chrono::milliseconds(hold_ms);
        pollfd p[2] = {{terminal_open ? terminal : -1, POLLIN, 0}, {out_open && !holding ? out[0] : -1, POLLIN, 0}};
        poll(p, 2, 20);
        if (p[0].revents) {
            const ssize_t n = read(terminal, buf, sizeof buf);
            if (n > 0) run.err.append(buf, size_t(n));
            else terminal_open = false;  // EIO once the tool's side is closed
        }
        if (p[1].revents) {
            const ssize_t n = read(out[0], buf, sizeof buf);
            if (n > 0) run.out.append(buf, size_t(n));
            else out_open = false;
        }
    }
    close(out[0]);
    close(terminal);
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    return run;
}

Audio sine_audio(int32_t rate, int32_t channels, double seconds, double hz, double amplitude, double noise)
{
    Audio a;
    a.rate = rate;
    a.channels = channels;
    const int64_t frames = int64_t(seconds * rate);
    a.samples.resize(size_t(frames * channels));
    std::mt19937 random(1234);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int64_t t = 0; t < frames; ++t)
        for (int32_t k = 0; k < channels; ++k) {
            const double v = amplitude * std::sin(2 * M_PI * hz * t / rate + k) + noise * uniform(random);
            a.samples[size_t(t * channels + k)] = int16_t(std::lrint(std::clamp(v, -1.0, 1.0) * 32767));
        }
    return a;
}

double tone_amplitude(const Audio& a, double hz, int64_t first, int64_t count)
{
    double re = 0, im = 0, wsum = 0;
    for (int64_t j = 0; j < count; ++j) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * j / count);
        const double x = a.samples[size_t((first + j) * a.channels)] / 32768.0;
        const double phase = 2 * M_PI * hz * j / a.rate;
        re += w * x * std::cos(phase);
        im += w * x * std::sin(phase);
        wsum += w;
    }
    return 2 * std::hypot(re, im) / wsum;
}

SNDFILE* open_sound_for_writing(const std::string& path, int32_t rate, int32_t channels, int format)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    return sf_open(path.c_str(), SFM_WRITE, &info);
}

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
