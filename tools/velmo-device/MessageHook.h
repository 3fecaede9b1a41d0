#pragma once
// `--exec CMD`: a shell command run for every received message, once the device has stored
// it and the rule clients have answered, with the message in its environment. The commands
// run one at a time, in the messages' order, on a thread of their own, so that a slow one
// never holds up the storing of the next message.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace velmo::cli {

class MessageHook {
public:
    // Variables such as SMS_OUTCOME, each with its value.
    using Environment = std::map<std::string, std::string>;

    explicit MessageHook(std::string command, std::chrono::seconds limit = std::chrono::seconds(30));
    // Waits for the commands still queued.
    ~MessageHook();
    MessageHook(const MessageHook&) = delete;
    MessageHook& operator=(const MessageHook&) = delete;

    void Run(Environment environment);

    // The receiver is stopping: the commands still queued are not run (it says how many),
    // the running one is ended within a few seconds, and so is whatever the commands
    // started that still runs.
    void Stop();

private:
    void Work();
    void RunOne(const Environment& environment);
    // When the running command must be over: its limit, or soon once the receiver stops.
    std::chrono::steady_clock::time_point Deadline(std::chrono::steady_clock::time_point started);

    std::string command_;
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Environment> queue_;
    bool finishing_ = false;
    bool stopped_ = false;
    std::chrono::steady_clock::time_point stoppedAt_;
    int wake_[2] = {-1, -1};  // written when the receiver stops, to end the wait on a command at once
    std::thread worker_;
};

}  // namespace velmo::cli
