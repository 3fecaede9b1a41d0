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
    explicit ModemStandIn(const std::filesystem::path& dir) : dir_(dir) { Start(); }

    // Both end and start again on the same address, as when the system bus restarts.
    void RestartBus() {
        previous_.reset();
        standIn_.reset();
        bus_.reset();
        Start();
    }

    // A second stand-in takes the name straight from the first, which stays on the bus without it.
    void Replace() {
        const std::string owner = Owner();
        previous_ = std::move(standIn_);
        StartStandIn();
        if (!WaitFor(std::chrono::seconds(20), [&] { return Owner() != owner; })) {
            throw std::runtime_error("the second stand-in did not take the name: " +
                                     ReadFileText(dir_ / "standin.log"));
        }
    }

    ~ModemStandIn() {
        previous_.reset();
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
    void Start() {
        const std::filesystem::path socket = dir_ / "bus";
        std::filesystem::remove(socket);
        bus_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/dbus-daemon",
            std::vector<std::string>{"--session", "--nofork", "--address=unix:path=" + socket.string()},
            dir_ / "bus.log");
        if (!WaitFor(std::chrono::seconds(10), [&] { return std::filesystem::exists(socket); })) {
            throw std::runtime_error("dbus-daemon did not start: " + ReadFileText(dir_ / "bus.log"));
        }
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + socket.string()).c_str(), 1);
        StartStandIn();
        if (!WaitFor(std::chrono::seconds(20), [&] { return !Owner().empty(); })) {
            throw std::runtime_error("the stand-in did not start: " + ReadFileText(dir_ / "standin.log"));
        }
    }

    void StartStandIn() {
        standIn_ = std::make_unique<BackgroundProcess>(
            "/usr/bin/python3",
            std::vector<std::string>{
                "-m", "dbusmock", "--template",
                (std::filesystem::path(VELMO_SOURCE_DIR) / "tests/system/modem_standin.py").string()},
            dir_ / "standin.log");
    }

    // The unique name that owns ModemManager's name, empty while none does.
    static std::string Owner() {
        auto reply = RunProcess("/usr/bin/dbus-send",
                                {"--system", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                                 "org.freedesktop.DBus.GetNameOwner", "string:org.freedesktop.ModemManager1"});
        auto quote = reply.output.find('"');
        return reply.exitCode != 0 || quote == std::string::npos ? "" : reply.output.substr(quote);
    }

    std::filesystem::path dir_;
    std::unique_ptr<BackgroundProcess> bus_;
    std::unique_ptr<BackgroundProcess> standIn_;
    std::unique_ptr<BackgroundProcess> previous_;  // a stand-in that handed its name on
};

}  // namespace velmo::test
