#pragma once
// A temporary device set up for the handler: the settings, the message store with its
// Inbox, incoming SMS as the transport stores them, ContactsInfo.dat, and one call of
// ProcessMessage as the transport makes it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/ContactStateFile.h"
#include "common/SettingsStore.h"
#include "device/Clock.h"
#include "device/MailRuleClient.h"
#include "device/MessageStore.h"
#include "device/Text.h"
#include "handler/ProcessMessage.h"
#include "support/TempDevice.h"

namespace velmo::test {

// 2023-06-01 12:00:00 UTC.
inline constexpr FILETIME kDelivered{0x97582000u, 0x01D99480u};

// What the transport put in an out-parameter before the call, to see whether it was written.
inline constexpr ULONG kUnwritten = 0xDEADBEEF;

struct Sms {
    Sms(std::u16string sender, std::optional<std::u16string> body = u"See you at eight",
        std::optional<std::u16string> senderName = std::nullopt)
        : from(std::move(sender)), text(std::move(body)), name(std::move(senderName)) {}

    std::u16string from;
    std::optional<std::u16string> text;
    std::optional<std::u16string> name;
};

// The properties the transport gives an incoming SMS; the sender name and text only when present.
inline std::vector<device::Property> SmsProperties(const Sms& sms) {
    using device::Property;
    std::vector<Property> properties{
        Property::Text(PR_MESSAGE_CLASS_W, u"IPM.SMS"),
        Property::Text(PR_SENDER_EMAIL_ADDRESS_W, sms.from),
        Property::Text(PR_ADDRTYPE_W, u"SMS"),
        Property::Time(PR_MESSAGE_DELIVERY_TIME, kDelivered),
        Property::Time(PR_LAST_MODIFICATION_TIME, kDelivered),
        Property::Number(PR_MESSAGE_FLAGS, 0),
        Property::Number(PR_MESSAGE_SIZE, static_cast<std::int64_t>(2 * sms.text.value_or(u"").size())),
        Property::Number(PR_RECIPIENT_TYPE, 1),
    };
    if (sms.text) properties.push_back(Property::Text(PR_SUBJECT_W, *sms.text));
    if (sms.name) properties.push_back(Property::Text(PR_SENDER_NAME_W, *sms.name));
    return properties;
}

struct Outcome {
    HRESULT result = S_OK;
    ULONG eventType = kUnwritten;
    MRCHANDLED handled = kUnwritten;
};

class HandlerDevice {
public:
    // installed: "AppPath" names the program's directory, as after VelmoLight's first start.
    explicit HandlerDevice(bool installed = true) {
        if (installed) appDir_ = device_.InstallAppPath();
    }

    const TempDevice& Device() const { return device_; }
    device::MessageStore& Messages() { return messages_; }
    const std::filesystem::path& AppDir() const { return appDir_; }
    std::filesystem::path MessagesFile() const { return appDir_ / "Mesages.dat"; }
    std::filesystem::path ContactsInfoFile() const { return appDir_ / "ContactsInfo.dat"; }

    // Filtering on, every message decided by itemsMode.
    void Filter(std::int16_t itemsMode) {
        SettingsStore settings;
        settings.SetActiveState(Active);
        settings.SetItemsState(itemsMode);
    }

    device::EntryId Receive(const Sms& sms) {
        auto properties = SmsProperties(sms);
        return messages_.CreateMessage(u"Inbox", properties);
    }

    // ContactsInfo.dat holding exactly these entries, written as VelmoLight's rebuild writes it.
    void WriteContactStates(const std::vector<ContactRecord>& entries) {
        // A rebuild keeps the actions of the file it replaces; these entries start from nothing.
        std::filesystem::remove(ContactsInfoFile());
        ContactStateFile file;
        if (!file.SetPath(device::ToUtf16(ContactsInfoFile().string()))) throw std::runtime_error("path too long");
        file.BeginRebuild(static_cast<std::int32_t>(entries.size()));
        for (const auto& entry : entries) file.Add(entry.key, entry.action);
        if (!file.Save()) throw std::runtime_error("cannot write ContactsInfo.dat");
    }

    Outcome Process(const device::EntryId& message) { return Process(messages_.Interface(), message); }
    Outcome Process(IMsgStore* store, const device::EntryId& message) {
        return Process(store, message, messages_.InboxEntryId());
    }
    Outcome Process(IMsgStore* store, device::EntryId message, device::EntryId folder) {
        Outcome outcome;
        outcome.result =
            ProcessMessage(store, static_cast<ULONG>(message.size()), reinterpret_cast<LPENTRYID>(message.data()),
                           static_cast<ULONG>(folder.size()), reinterpret_cast<LPENTRYID>(folder.data()),
                           &outcome.eventType, &outcome.handled);
        return outcome;
    }

private:
    TempDevice device_;
    std::filesystem::path appDir_;
    device::MessageStore messages_;
};

}  // namespace velmo::test
