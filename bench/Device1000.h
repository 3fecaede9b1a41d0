#pragma once
// A device with the installed handler, 1,000 contacts each with an action in
// ContactsInfo.dat, filtering on, and a batch of 1,000 messages from senders spread over
// the whole address book (every tenth one a stranger), for the benchmarks that receive them.

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "common/Types.h"
#include "device/ContactStore.h"
#include "device/DeviceRoot.h"
#include "device/Text.h"
#include "support/FileHelpers.h"
#include "support/Process.h"
#include "support/TempDevice.h"

namespace velmo::bench {

namespace fs = std::filesystem;

constexpr int kContacts = 1000;
constexpr int kMessages = 1000;

inline std::string Number(int contact) {
    char text[32];
    std::snprintf(text, sizeof text, "+1 555 %03d %04d", contact / 100, 1000 + contact);
    return text;
}

inline test::ProcessResult Device(const std::vector<std::string>& args) {
    auto result = test::RunProcess(test::BinPath("velmo-device").string(), args);
    if (result.exitCode != 0) throw std::runtime_error("velmo-device failed: " + result.errors);
    return result;
}

// Installed handler, 1,000 contacts each with an action in ContactsInfo.dat, filtering on.
class Device1000 {
public:
    Device1000() {
        Device({"install"});
        device_.InstallAppPath();  // as VelmoLight's first start does
        std::vector<device::ContactEntry> contacts(kContacts);
        for (int i = 0; i < kContacts; ++i) {
            contacts[i][device::ContactField::LastName] = u"Contact " + device::ToUtf16(std::to_string(i + 1));
            contacts[i][device::ContactField::MobileTelephoneNumber] = device::ToUtf16(Number(i + 1));
        }
        device::ContactStore store;
        auto oids = store.AddAll(contacts);

        SettingsStore settings;
        settings.SetActiveState(Active);
        settings.SetItemsState(UserSettings);
        char16_t path[MAX_PATH] = {};
        ContactStateFile file;
        if (!settings.ContactsInfoPath(path) || !file.SetPath(path)) throw std::runtime_error("no AppPath");
        file.BeginRebuild(kContacts + 2);
        file.Add(UnknownSenderKey, Dismiss);
        file.Add(UndefinedSenderKey, Accept);
        const std::int32_t actions[] = {Accept, SilentAccept, Dismiss};
        for (int i = 0; i < kContacts; ++i) file.Add(oids[i], actions[i % 3]);
        if (!file.Save()) throw std::runtime_error("cannot write ContactsInfo.dat");

        // Senders spread over the whole address book, and every tenth one a stranger.
        std::string batch;
        for (int m = 0; m < kMessages; ++m) {
            std::string from =
                m % 10 == 9 ? "+44 20 7946 " + std::to_string(1000 + m) : Number((m * 7919) % kContacts + 1);
            batch += from + "\tSender " + std::to_string(m) + "\tMessage number " + std::to_string(m) + "\n";
        }
        test::WriteFileBytes(Batch(), std::vector<std::uint8_t>(batch.begin(), batch.end()));
    }

    fs::path Batch() const { return device_.Root() / "batch.txt"; }

    // Back to an empty Inbox and no blocked messages, so that every run starts alike.
    void ClearMessages() const {
        for (const char* name : {"messages.db", "messages.db-wal", "messages.db-shm"})
            fs::remove(device_.Root() / name);
        fs::remove(device::ProgramDirectory() / "Mesages.dat");
    }

private:
    test::TempDevice device_;
};

}  // namespace velmo::bench
