#pragma once
// Runs a program of the build as a child process, as a person or a script would.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace velmo::test {

struct ProcessResult {
    int exitCode = -1;   // -1 when the child did not exit normally
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs program with args (argv[0] is added), standard input from `input`; waits for it.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = {});

// Polls until done() holds or the limit passes; says which.
template <typename Done>
bool WaitFor(std::chrono::milliseconds limit, Done&& done) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// A program left running beside the test, standard input from /dev/null, standard output
// and error into one file. It is stopped by the process identifier it was started with,
// never by name, at the latest when the object ends.
class BackgroundProcess {
public:
    BackgroundProcess(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& output);
    ~BackgroundProcess() { Stop(); }
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // SIGTERM, then SIGKILL if it has not ended within ten seconds. Gives the wait status,
    // or -1 when there was no process.
    int Stop();
    // SIGKILL at once, as a crash or an impatient operator ends it.
    void Kill();

private:
    pid_t pid_ = 0;
};

}  // namespace velmo::test
