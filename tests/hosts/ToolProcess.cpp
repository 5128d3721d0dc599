#include "ToolProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sonalter_test {

namespace {

pid_t Spawn(const std::vector<std::string>& args, const std::filesystem::path& workDir,
            const std::map<std::string, std::string>& env, int& outFd, int& errFd) {
    int out[2];
    int err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return -1;
    // Everything the child needs is prepared before fork: only exec-safe calls after it.
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        if (!env.count(name)) envStrings.push_back(entry);
    }
    for (const auto& [name, value] : env) {
        if (!value.empty()) envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{SONALTER_PATH};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argStrings) argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string dir = workDir.string();

    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        signal(SIGINT, SIG_DFL);
        if (chdir(dir.c_str()) != 0) _exit(126);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd = out[0];
    errFd = err[0];
    return pid;
}

int DecodeStatus(int raw) {
    if (WIFEXITED(raw)) return WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) return 128 + WTERMSIG(raw);
    return -1;
}

}  // namespace

void WriteSound(const std::filesystem::path& path, const std::vector<short>& samples, int channels, int rate,
                int format) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = format != 0 ? format : SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
    sf_writef_short(f, samples.data(), static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels)));
    sf_close(f);
}

ToolResult RunTool(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                   const std::map<std::string, std::string>& env) {
    RunningTool tool(args, workDir, env);
    return tool.Finish(60000);
}

RunningTool::RunningTool(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                         const std::map<std::string, std::string>& env) {
    pid_ = Spawn(args, workDir, env, outFd_, errFd_);
}

RunningTool::~RunningTool() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void RunningTool::Drain(int timeoutMs) {
    pollfd fds[2] = {{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return;
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            (i == 0 ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            close(fds[i].fd);
            (i == 0 ? outFd_ : errFd_) = -1;
        }
    }
}

bool RunningTool::WaitForError(const std::string& text, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (result_.err.find(text) == std::string::npos) {
        if (errFd_ < 0 || std::chrono::steady_clock::now() >= end) return false;
        Drain(20);
    }
    return true;
}

void RunningTool::Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
}

ToolResult RunningTool::Finish(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((outFd_ >= 0 || errFd_ >= 0) && std::chrono::steady_clock::now() < end) Drain(50);
    if (pid_ > 0) {
        int raw = 0;
        if (outFd_ >= 0 || errFd_ >= 0) kill(pid_, SIGKILL);  // out of time
        rusage usage{};
        wait4(pid_, &raw, 0, &usage);
        result_.status = DecodeStatus(raw);
        result_.peakKiB = usage.ru_maxrss;
        pid_ = -1;
    }
    return result_;
}

}  // namespace sonalter_test
