// Starting a program as the handheld's shell does: with the device's environment
// (VELMO_DEVICE included), without waiting for it.

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <thread>

#include "device/Text.h"
#include "device/gui/Windows.h"

extern char** environ;

extern "C" {

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFO) || velmo::device::Length(info->lpFile) == 0) {
        return FALSE;
    }
    std::u16string_view verb(info->lpVerb != nullptr ? info->lpVerb : u"");
    if ((!verb.empty() && verb != u"open") || velmo::device::Length(info->lpParameters) != 0) return FALSE;
    std::string path = velmo::device::ToUtf8(std::u16string_view(info->lpFile, velmo::device::Length(info->lpFile)));
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return FALSE;
    // Nobody waits for the program, so a thread of its own collects it when it ends.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return TRUE;
}

}  // extern "C"
