#include "device/SmsSending.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "device/Clock.h"
#include "device/DeviceRoot.h"
#include "device/LockFile.h"
#include "device/Text.h"

namespace velmo::device {

namespace {

constexpr const char16_t* Outbox = u"Outbox";
constexpr const char16_t* Sent = u"Sent";

std::u16string TextOf(const StoredMessage& message, ULONG tag) {
    const Property* property = message.Find(tag);
    const std::u16string* text = property != nullptr ? property->AsText() : nullptr;
    return text != nullptr ? *text : std::u16string();
}

// One sender at a time per device: two retries at once would hand the same message to the
// modem twice.
LockFile TakeOutbox() {
    LockFile lock;
    if (!lock.Lock(ToUtf16((EnsureDeviceRoot() / "outbox.lock").string()))) {
        throw std::runtime_error("cannot take the Outbox's lock in " + DeviceRoot().string());
    }
    return lock;
}

SendReport Hand(MessageStore& store, const EntryId& entry, const OutgoingSms& sms, const ModemSend& modem) {
    SendReport report{entry, sms, false, {}};
    try {
        report.reason = modem(sms);
    } catch (const std::exception& error) {
        report.reason = error.what();
    }
    if (report.reason.empty()) {
        std::vector<Property> sent{Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ),
                                   Property::Time(PR_MESSAGE_DELIVERY_TIME, Split(ToFileTime(Now()))),
                                   Property::Text(PR_SEND_FAILURE_W, u"")};
        report.sent = store.SetProperties(Outbox, entry, sent) && store.MoveMessage(entry, Outbox, Sent);
        if (!report.sent) report.reason = "sent, but it was no longer in the Outbox to be moved to Sent";
        return report;
    }
    Property why = Property::Text(PR_SEND_FAILURE_W, ToUtf16(report.reason));
    store.SetProperties(Outbox, entry, {&why, 1});
    return report;
}

std::string Digits(std::u16string_view number) {
    std::string kept;
    for (char16_t c : number) {
        if ((c >= u'0' && c <= u'9') || (c == u'+' && kept.empty())) kept += static_cast<char>(c);
    }
    return kept;
}

std::string WriteGammuFile(const std::filesystem::path& directory, const OutgoingSms& sms) {
    const std::string recipient = Digits(sms.number);
    if (recipient.find_first_of("0123456789") == std::string::npos) {
        return "gammu-smsd sends only to a telephone number, and \"" + ToUtf8(sms.number) + "\" has no digits";
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : WellFormedUtf16(sms.text)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    SYSTEMTIME now = ToLocalSystemTime(Now());
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u_%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    // Not starting with OUT, so that gammu-smsd passes it by until it is whole.
    const std::filesystem::path temporary = directory / (".velmo-" + std::to_string(getpid()) + ".tmp");
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return "gammu-smsd's outbox " + directory.string() + " cannot be written: " + std::strerror(errno);
    bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    int saved = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        return "gammu-smsd's outbox " + directory.string() + " cannot be written: " + std::strerror(saved);
    }
    // The serial tells apart messages of the same second; link() never replaces one.
    for (int serial = 0; serial < 100; ++serial) {
        char name[192];
        std::snprintf(name, sizeof name, "OUTC%s_%02d_%s_velmo.txt", stamp, serial, recipient.c_str());
        if (::link(temporary.c_str(), (directory / name).c_str()) == 0) {
            ::unlink(temporary.c_str());
            return {};
        }
        if (errno != EEXIST) break;
    }
    saved = errno;
    ::unlink(temporary.c_str());
    return "gammu-smsd's outbox " + directory.string() + " cannot be written: " + std::strerror(saved);
}

}  // namespace

std::vector<Property> OutgoingProperties(const OutgoingSms& sms, std::uint64_t writtenAt) {
    return {
        Property::Text(PR_DISPLAY_TO_W, sms.number),
        Property::Text(PR_SUBJECT_W, sms.text),
        Property::Time(PR_MESSAGE_DELIVERY_TIME, Split(writtenAt)),
        Property::Text(PR_MESSAGE_CLASS_W, u"IPM.SMStext"),
        Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ | MSGFLAG_UNSENT),
        Property::Number(PR_MESSAGE_SIZE, static_cast<std::int64_t>(sms.text.size() * sizeof(char16_t))),
        Property::Text(PR_ADDRTYPE_W, u"SMS"),
    };
}

SendReport SendSms(MessageStore& store, const OutgoingSms& sms, const ModemSend& modem) {
    if (sms.number.find_first_not_of(u" \t") == std::u16string::npos) {
        throw std::invalid_argument("a message needs a recipient");
    }
    LockFile turn = TakeOutbox();
    const std::vector<Property> properties = OutgoingProperties(sms, ToFileTime(Now()));
    EntryId entry = store.CreateMessage(Outbox, properties);
    return Hand(store, entry, sms, modem);
}

std::vector<SendReport> SendOutbox(MessageStore& store, const ModemSend& modem) {
    LockFile turn = TakeOutbox();
    std::vector<SendReport> reports;
    for (const auto& message : store.ListFolder(Outbox)) {
        OutgoingSms sms{TextOf(message, PR_DISPLAY_TO_W), TextOf(message, PR_SUBJECT_W)};
        reports.push_back(Hand(store, message.entryId, sms, modem));
    }
    return reports;
}

ModemSend GammuOutbox(std::filesystem::path directory) {
    return [directory = std::move(directory)](const OutgoingSms& sms) { return WriteGammuFile(directory, sms); };
}

}  // namespace velmo::device
