// Running the built sonalter tool from tests: arguments in, exit status and both
// output streams back, in a private folder with a private (empty) registry.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace sonalter_test {

struct ToolResult {
    int status = -1;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
    long peakKiB = 0;  // the most resident memory the tool had, in KiB
};

// Runs the tool to the end. env entries are added to (or replace) the
// environment; an empty value removes the variable.
ToolResult RunTool(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                   const std::map<std::string, std::string>& env = {});

// Writes interleaved 16-bit samples as a sound file; format 0 is 16-bit WAV.
void WriteSound(const std::filesystem::path& path, const std::vector<short>& samples, int channels, int rate,
                int format = 0);

// A tool started in the background, for sending it signals.
class RunningTool {
public:
    RunningTool(const std::vector<std::string>& args, const std::filesystem::path& workDir,
                const std::map<std::string, std::string>& env = {});
    ~RunningTool();
    RunningTool(const RunningTool&) = delete;
    RunningTool& operator=(const RunningTool&) = delete;

    // Reads stderr until it contains text or timeoutMs passes; returns whether it appeared.
    bool WaitForError(const std::string& text, int timeoutMs);
    void Signal(int signal);
    // Waits for the end (killing the tool after timeoutMs) and collects the rest.
    ToolResult Finish(int timeoutMs);

private:
    void Drain(int timeoutMs);

    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    ToolResult result_;
};

}  // namespace sonalter_test
