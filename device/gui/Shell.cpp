// Starting a program as the handheld's shell does: with the device's environment
// (VELMO_DEVICE included), without waiting for it.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <thread>

#include "device/Text.h"
#include "device/gui/WindowLayer.h"
#include "device/gui/Windows.h"

extern char** environ;

namespace velmo::device::gui {

bool StartProgram(const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments[0].empty()) return false;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    // The program lives on its own, as on the handheld: a session of its own, and none of
    // the starter's terminal or pipes, which would otherwise stay open while it runs.
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    int failed = posix_spawn(&pid, argv[0], &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (failed != 0) return false;
    // Nobody waits for the program, so a thread of its own collects it when it ends.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
    return true;
}

}  // namespace velmo::device::gui

extern "C" {

BOOL ShellExecuteEx(SHELLEXECUTEINFO* info) {
    if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFO) || velmo::device::Length(info->lpFile) == 0) {
        return FALSE;
    }
    std::u16string_view verb(info->lpVerb != nullptr ? info->lpVerb : u"");
    if ((!verb.empty() && verb != u"open") || velmo::device::Length(info->lpParameters) != 0) return FALSE;
    std::string path = velmo::device::ToUtf8(std::u16string_view(info->lpFile, velmo::device::Length(info->lpFile)));
    return velmo::device::gui::StartProgram({path}) ? TRUE : FALSE;
}

}  // extern "C"
