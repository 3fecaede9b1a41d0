#pragma once
// A program with windows started where no display can show them says so in one line on
// standard error and exits with status 2, instead of Qt's abort.

#include <QtGlobal>

#include <string>

namespace velmo::device::gui {

// True when every platform Qt would try needs a display server and none is named.
bool NoDisplayForPlatform();

// "no display to show WHAT on; …", naming the way to draw off screen.
std::string NoDisplayText(const std::string& what);

// While it lives, Qt failing to start its platform plugin (a display that is named but
// cannot be reached) ends the process with "PROGRAM: TEXT" and exit status 2; Qt's other
// messages go where they went before. Made around the construction of the application.
class PlatformFailureExit {
public:
    PlatformFailureExit(const std::string& program, const std::string& text);
    ~PlatformFailureExit();
    PlatformFailureExit(const PlatformFailureExit&) = delete;
    PlatformFailureExit& operator=(const PlatformFailureExit&) = delete;

private:
    QtMessageHandler previous_;
};

}  // namespace velmo::device::gui
