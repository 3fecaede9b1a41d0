#include "tools/velmo-device/MessageHook.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <vector>

#include "device/VisibleText.h"

extern char** environ;

namespace velmo::cli {

namespace {

constexpr std::size_t KeptErrorBytes = 4096;

void Say(const std::string& line) { std::cerr << "velmo-device: " + line + "\n" << std::flush; }

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

MessageHook::MessageHook(std::string command, std::chrono::seconds limit)
    : command_(std::move(command)), limit_(limit) {}

MessageHook::~MessageHook() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void MessageHook::Run(Environment environment) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(environment));
        // Started with the first message, so that it inherits the signal mask of a receiver
        // that takes SIGTERM through a file.
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    changed_.notify_all();
}

void MessageHook::Work() {
    for (;;) {
        Environment next;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
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
    // A group of its own, so that ending it ends whatever it started too.
    posix_spawnattr_setpgroup(&attributes, 0);
    // Not the receiver's mask, which keeps SIGTERM for its signal file: the command must end when told.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
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
    const auto deadline = std::chrono::steady_clock::now() + limit_;
    for (bool open = true; open;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ended = true;
            break;
        }
        pollfd watched{errors[0], POLLIN, 0};
        int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
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
    if (ended) {
        ::kill(-child, SIGTERM);
        // A grace of two seconds for it to go, then no more.
        for (int i = 0; i < 200 && waitpid(child, &status, WNOHANG) == 0; ++i) usleep(10'000);
        if (waitpid(child, &status, WNOHANG) == 0) {
            ::kill(-child, SIGKILL);
            waitpid(child, &status, 0);
        }
        return Say(about + " ran longer than " + std::to_string(limit_.count()) + " s and was ended");
    }
    // Its standard error has closed; the shell may still be finishing (or its children
    // hold the pipe no more), so the limit still holds.
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(-child, SIGKILL);
            waitpid(child, &status, 0);
            return Say(about + " ran longer than " + std::to_string(limit_.count()) + " s and was ended");
        }
        usleep(10'000);
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
    std::string what = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                         : "ended by signal " + std::to_string(WTERMSIG(status));
    const std::string first = FirstLine(stderrText);
    Say(about + " failed (" + what + ")" + (first.empty() ? "" : ": " + device::VisibleText(first)));
}

}  // namespace velmo::cli
