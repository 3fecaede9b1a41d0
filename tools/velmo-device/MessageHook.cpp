#include "tools/velmo-device/MessageHook.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <vector>

#include "device/VisibleText.h"

extern char** environ;

namespace velmo::cli {

namespace {

constexpr std::size_t KeptErrorBytes = 4096;
// How long the running command may go on once the receiver stops, and how long a command
// told to end has before it is killed.
constexpr auto StopGrace = std::chrono::seconds(3);
constexpr auto EndGrace = std::chrono::seconds(2);

void Say(const std::string& line) { std::cerr << "velmo-device: " + line + "\n" << std::flush; }

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

struct ProcessEntry {
    pid_t pid = 0;
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
    char state = '?';
};

// Every process of the system, as /proc shows it now.
std::vector<ProcessEntry> Processes() {
    std::vector<ProcessEntry> all;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return all;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
        std::string stat;
        std::getline(in, stat);
        // The program's name, in parentheses, may hold spaces and parentheses of its own.
        const auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        ProcessEntry process;
        process.pid = static_cast<pid_t>(pid);
        if (rest >> process.state >> process.parent >> process.group >> process.session) all.push_back(process);
    }
    ::closedir(proc);
    return all;
}

// What the commands started and is still there: each command has a session of its own, so
// these are this process's descendants outside its session. A process whose parent has
// gone, even one that made a session of its own, is among them: this process adopts it.
std::vector<ProcessEntry> CommandProcesses() {
    const pid_t self = ::getpid();
    const pid_t ownSession = ::getsid(0);
    const std::vector<ProcessEntry> all = Processes();
    std::vector<ProcessEntry> found;
    std::vector<pid_t> parents{self};
    while (!parents.empty()) {
        const pid_t parent = parents.back();
        parents.pop_back();
        for (const ProcessEntry& process : all) {
            if (process.parent != parent || (parent == self && process.session == ownSession)) continue;
            found.push_back(process);
            parents.push_back(process.pid);
        }
    }
    return found;
}

// Collects the adopted processes that have ended, but for the one the caller waits for.
void ReapAdopted(pid_t waited) {
    for (const ProcessEntry& process : Processes()) {
        if (process.parent == ::getpid() && process.state == 'Z' && process.pid != waited) {
            ::waitpid(process.pid, nullptr, WNOHANG);
        }
    }
}

// Signals every process the commands started, and its group; false when none runs.
bool SignalCommandProcesses(int signal) {
    std::set<pid_t> groups;
    bool any = false;
    for (const ProcessEntry& process : CommandProcesses()) {
        if (process.state == 'Z') continue;
        any = true;
        ::kill(process.pid, signal);
        groups.insert(process.group);
    }
    // Each lies in a command's session, never in the receiver's.
    for (pid_t group : groups) {
        if (group > 1) ::kill(-group, signal);
    }
    return any;
}

// Ends whatever the commands started: SIGTERM, a grace for it to go, then SIGKILL. The
// shell of the running command, if any, is left for its caller to wait for.
void EndCommandProcesses(pid_t shell) {
    if (!SignalCommandProcesses(SIGTERM)) return;
    const auto deadline = std::chrono::steady_clock::now() + EndGrace;
    for (;;) {
        ReapAdopted(shell);
        bool running = false;
        for (const ProcessEntry& process : CommandProcesses()) running = running || process.state != 'Z';
        if (!running) return;
        if (std::chrono::steady_clock::now() >= deadline) break;
        ::usleep(20'000);
    }
    // A process may have started another meanwhile: until none is left, for a while.
    for (int round = 0; round < 50 && SignalCommandProcesses(SIGKILL); ++round) {
        ::usleep(20'000);
        ReapAdopted(shell);
    }
}

}  // namespace

MessageHook::MessageHook(std::string command, std::chrono::seconds limit)
    : command_(std::move(command)), limit_(limit) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
    // What a command leaves behind when its shell ends comes to this process rather than
    // to init, so that it can still be ended at the limit.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

MessageHook::~MessageHook() {
    {
        std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
    ReapAdopted(0);
    for (int fd : wake_) {
        if (fd >= 0) ::close(fd);
    }
}

void MessageHook::Run(Environment environment) {
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        queue_.push_back(std::move(environment));
        // Started with the first message, so that it inherits the signal mask of a receiver
        // that takes SIGTERM through a file.
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    changed_.notify_all();
}

void MessageHook::Stop() {
    std::size_t notRun = 0;
    {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        stopped_ = true;
        stoppedAt_ = std::chrono::steady_clock::now();
        notRun = queue_.size();
        queue_.clear();
    }
    changed_.notify_all();
    if (wake_[1] >= 0) (void)!::write(wake_[1], "s", 1);
    if (worker_.joinable()) worker_.join();
    EndCommandProcesses(0);
    if (notRun > 0) {
        Say(std::to_string(notRun) + " --exec command" + (notRun == 1 ? " was" : "s were") +
            " not run: the receiver was stopped");
    }
}

std::chrono::steady_clock::time_point MessageHook::Deadline(std::chrono::steady_clock::time_point started) {
    std::lock_guard lock(mutex_);
    const auto limit = started + limit_;
    return stopped_ ? std::min(limit, stoppedAt_ + StopGrace) : limit;
}

void MessageHook::Work() {
    for (;;) {
        Environment next;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return finishing_ || stopped_ || !queue_.empty(); });
            if (stopped_ || queue_.empty()) return;
            next = std::move(queue_.front());
            queue_.pop_front();
        }
        RunOne(next);
    }
}

void MessageHook::RunOne(const Environment& environment) {
    const std::string about = "--exec for the message from " + device::VisibleText(environment.at("SMS_NUMBER"));
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string variable = *entry;
        if (environment.count(variable.substr(0, variable.find('='))) == 0) variables.push_back(variable);
    }
    for (const auto& [name, value] : environment) variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    int errors[2];
    if (pipe2(errors, O_CLOEXEC) != 0) return Say(about + " cannot start: " + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A session of its own: what it starts is told from the receiver's own processes, and
    // no terminal's signals reach it.
    // Not the receiver's mask, which keeps SIGTERM for its signal file: the command must end when told.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    const char* argv[] = {"/bin/sh", "-c", command_.c_str(), nullptr};
    pid_t child = 0;
    int spawned = posix_spawn(&child, "/bin/sh", &actions, &attributes, const_cast<char**>(argv), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(errors[1]);
    if (spawned != 0) {
        ::close(errors[0]);
        return Say(about + " cannot start: " + std::strerror(spawned));
    }

    std::string stderrText;
    bool ended = false;
    const auto started = std::chrono::steady_clock::now();
    for (bool open = true; open;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(Deadline(started) - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ended = true;
            break;
        }
        pollfd watched[2] = {{errors[0], POLLIN, 0}, {wake_[0], POLLIN, 0}};
        int ready = ::poll(watched, wake_[0] >= 0 ? 2 : 1, static_cast<int>(left.count()));
        if (ready <= 0) continue;
        if (watched[1].revents != 0) {
            char drained[16];
            while (::read(wake_[0], drained, sizeof drained) > 0) {}
        }
        if (watched[0].revents == 0) continue;
        char buffer[1024];
        ssize_t got = ::read(errors[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            open = false;
        } else if (stderrText.size() < KeptErrorBytes) {
            stderrText.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(errors[0]);
    int status = 0;
    // Its standard error has closed; the shell may still be finishing (or its children
    // hold the pipe no more), so the limit still holds.
    while (!ended && waitpid(child, &status, WNOHANG) == 0) {
        ended = std::chrono::steady_clock::now() >= Deadline(started);
        if (!ended) usleep(10'000);
    }
    if (ended) {
        // Everything it started goes with it, also what left its group or its session.
        EndCommandProcesses(child);
        waitpid(child, &status, 0);
        bool stopped = false;
        {
            std::lock_guard lock(mutex_);
            stopped = stopped_;
        }
        return Say(about + (stopped ? " was ended: the receiver was stopped"
                                    : " ran longer than " + std::to_string(limit_.count()) + " s and was ended"));
    }
    ReapAdopted(0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    std::string what = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                         : "ended by signal " + std::to_string(WTERMSIG(status));
    const std::string first = FirstLine(stderrText);
    Say(about + " failed (" + what + ")" + (first.empty() ? "" : ": " + device::VisibleText(first)));
}

}  // namespace velmo::cli
