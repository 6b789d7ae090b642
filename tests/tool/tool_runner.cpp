#include "tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <csignal>
#include <unistd.h>

#include <algorithm>
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

ToolRun run_tool(const std::vector<std::string>& args, const std::string& cwd, const ToolSetup& setup)
{
    const std::string out_path = capture_file();
    const std::string err_path = capture_file();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open(setup.stdin_path.c_str(), O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_TRUNC);
        const int err = open(err_path.c_str(), O_WRONLY | O_TRUNC);
        if (null < 0 || out < 0 || err < 0 || chdir(cwd.c_str()) != 0) _exit(127);
        dup2(null, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (setup.file_size_limit > 0) {
            // A write past the limit then fails with EFBIG instead of killing the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(setup.file_size_limit), rlim_t(setup.file_size_limit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        std::vector<char*> argv;
        std::string tool = TULM_TOOL;
        argv.push_back(tool.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(tool.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    ToolRun run;
    run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    run.out = read_text(out_path);
    run.err = read_text(err_path);
    unlink(out_path.c_str());
    unlink(err_path.c_str());
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

bool file_exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
