#pragma once
// Desktop notifications of new messages through org.freedesktop.Notifications on the
// session bus, as the handheld announces a message that arrives unread.

#include <memory>
#include <string>

namespace velmo::cli {

class NotificationServer;

class DesktopNotifier {
public:
    // openCommand is what the notification's action starts (the Messaging screen); it is
    // offered only when answerActions, by a process that stays to answer it.
    DesktopNotifier(std::string openCommand, bool answerActions);
    ~DesktopNotifier();
    DesktopNotifier(const DesktopNotifier&) = delete;
    DesktopNotifier& operator=(const DesktopNotifier&) = delete;

    // Posts one notification. Without a session bus or a notification server it says so on
    // standard error, the first time only, and the message goes on as before.
    void Notify(const std::string& summary, const std::string& body);

private:
    std::string openCommand_;
    bool answerActions_;
    bool told_ = false;
    std::unique_ptr<NotificationServer> server_;
};

}  // namespace velmo::cli
