#pragma once
// A private dbus-daemon, named as the system bus for this process and its children, with
// the stand-in ModemManager (tests/system/modem_standin.py) on it, for the objects' life.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/FileHelpers.h"
#include "support/Process.h"

namespace velmo::test {

class ModemStandIn {
public:
    // Whether the machine has what the stand-in needs.
    static bool Available() {
        return access("/usr/bin/dbus-daemon", X_OK) == 0 && access("/usr/bin/dbus-send", X_OK) == 0 &&
               RunProcess("/usr/bin/python3", {"-c", "import dbusmock"}).exitCode == 0;
    }

    // Starts both in dir (which must exist) and waits until the stand-in owns its name; throws
    // std::runtime_error with their output when they do not come up.
    explicit ModemStandIn(const std::filesystem::path& dir) : dir_(dir) {
        const std::filesystem::path socket = dir / "bus";
        bus_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--address=unix:path=" + socket.string()},
            dir / "bus.log");
        if (!WaitFor(std::chrono::seconds(10), [&] { return std::filesystem::exists(socket); })) {
            throw std::runtime_error("dbus-daemon did not start: " + ReadFileText(dir / "bus.log"));
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket.string()).c_str(), 1);
        standIn_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/python3",
            std::vector<std::string>{
                "-m", "dbusmock", "--template",
                (std::filesystem::path(VELMO_SOURCE_DIR) / "tests/system/modem_standin.py").string()},
            dir / "standin.log");
        bool up = WaitFor(std::chrono::seconds(20), [&] {
            return RunProcess("/usr/bin/dbus-send",
                              {"--system", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.ModemManager1"})
                       .output.find("boolean true") != std::string::npos;
        });
        if (!up) throw std::runtime_error("the stand-in did not start: " + ReadFileText(dir / "standin.log"));
    }
    ~ModemStandIn() {
        standIn_.reset();
        bus_.reset();
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
    }
    ModemStandIn(const ModemStandIn&) = delete;
    ModemStandIn& operator=(const ModemStandIn&) = delete;

    // A method of the stand-in's control interface with arguments as dbus-send takes them;
    // gives dbus-send's output, throws when the call fails.
    std::string Call(const std::string& method, const std::vector<std::string>& args = {}) const {
        std::vector<std::string> all = {"--system", "--print-reply", "--dest=org.freedesktop.ModemManager1",
                                        "/org/freedesktop/ModemManager1", "org.freedesktop.DBus.Mock." + method};
        all.insert(all.end(), args.begin(), args.end());
        auto result = RunProcess("/usr/bin/dbus-send", all);
        if (result.exitCode != 0) throw std::runtime_error(method + ": " + result.errors);
        return result.output;
    }

    // "deleted held": the messages deleted and the Delete calls held so far.
    std::string Deletes() const {
        std::string reply = Call("Deletes");
        std::string counts;
        for (auto at = reply.find("uint32 "); at != std::string::npos; at = reply.find("uint32 ", at + 1)) {
            counts += (counts.empty() ? "" : " ") + reply.substr(at + 7, reply.find('\n', at) - at - 7);
        }
        return counts;
    }

private:
    std::filesystem::path dir_;
    std::unique_ptr<BackgroundProcess> bus_;
    std::unique_ptr<BackgroundProcess> standIn_;
};

}  // namespace velmo::test
