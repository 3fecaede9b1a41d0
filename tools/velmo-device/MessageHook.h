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

private:
    void Work();
    void RunOne(const Environment& environment);

    std::string command_;
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Environment> queue_;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace velmo::cli
