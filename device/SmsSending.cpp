#include "device/SmsSending.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

SendReport Hand(MessageStore& store, const EntryId& entry, const OutgoingSms& sms, std::string recorded,
                const ModemSend& modem) {
    SendReport report{entry, sms, false, {}};
    try {
        HandOver handOver(store, entry, std::move(recorded));
        report.reason = modem(sms, handOver);
    } catch (const std::exception& error) {
        report.reason = error.what();
    }
    if (report.reason.empty()) {
        std::vector<Property> sent{Property::Number(PR_MESSAGE_FLAGS, MSGFLAG_READ),
                                   Property::Time(PR_MESSAGE_DELIVERY_TIME, Split(ToFileTime(Now()))),
                                   Property::Text(PR_SEND_FAILURE_W, u"")};
        report.sent = store.SetProperties(Outbox, entry, sent) && store.MoveMessage(entry, Outbox, Sent);
        if (!report.sent) report.reason = "sent, but it was no longer in the Outbox to be moved to Sent";
        // Kept until the message is in Sent: a sender killed before the move leaves the next
        // one a message it knows to be handed over, not one to hand over again.
        const Property done = Property::Text(PR_SEND_HANDOVER_W, u"");
        if (report.sent) store.SetProperties(Sent, entry, {&done, 1});
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

bool HoldsBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::error_code error;
    if (std::filesystem::file_size(file, error) != bytes.size() || error) return false;
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) return false;
    std::string held(bytes.size(), '\0');
    const bool read = std::fread(held.data(), 1, held.size(), in) == held.size();
    std::fclose(in);
    return read && held == bytes;
}

// Temporary files of writers that are gone: an earlier version named them after its process.
void SweepTemporaries(const std::filesystem::path& directory) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.starts_with(".velmo-") || !name.ends_with(".tmp")) continue;
        const int pid = std::atoi(name.c_str() + 7);
        if (pid > 0 && pid != getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) ::unlink(entry.path().c_str());
    }
}

std::string WriteGammuFile(const std::filesystem::path& directory, const std::filesystem::path& sentFolder,
                           const OutgoingSms& sms, HandOver& handOver) {
    const std::string recipient = Digits(sms.number);
    if (recipient.find_first_of("0123456789") == std::string::npos) {
        return "gammu-smsd sends only to a telephone number, and \"" + ToUtf8(sms.number) + "\" has no digits";
    }
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : WellFormedUtf16(sms.text)) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    // A sender stopped while it linked the file: gammu-smsd has the message if the file is in
    // the outbox or already in its sent folder.
    const std::vector<std::string> record = TabFields(handOver.Recorded());
    if (record.size() == 4 && record[0] == "gammu") {
        if (record[1] == "linked") return {};
        if (HoldsBytes(std::filesystem::path(record[2]) / record[3], bytes) ||
            (!sentFolder.empty() && HoldsBytes(sentFolder / record[3], bytes))) {
            return {};
        }
    } else if (record.size() >= 2 && record[1] != "create") {
        return "it was being handed to " + record[0] + " when the sender stopped; sending it through that modem " +
               "again finishes it";
    }
    SweepTemporaries(directory);
    const std::string failed = "gammu-smsd's outbox " + directory.string() + " cannot be written: ";
    // Written without a name, so that a kill leaves no file behind; a file system that cannot
    // do that gets a temporary named after this process, swept once the process is gone.
    const std::filesystem::path temporary = directory / (".velmo-" + std::to_string(getpid()) + ".tmp");
    int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    const bool unnamed = fd >= 0;
    if (!unnamed) fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return failed + std::strerror(errno);
    auto cleanUp = [&] {
        ::close(fd);
        if (!unnamed) ::unlink(temporary.c_str());
    };
    bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) && ::fsync(fd) == 0;
    if (!written) {
        const int saved = errno;
        cleanUp();
        return failed + std::strerror(saved);
    }
    SYSTEMTIME now = ToLocalSystemTime(Now());
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u_%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    // The serial tells apart messages of the same second; linking never replaces a file.
    int saved = EEXIST;
    try {
        for (int serial = 0; serial < 100; ++serial) {
            char name[192];
            std::snprintf(name, sizeof name, "OUTC%s_%02d_%s_velmo.txt", stamp, serial, recipient.c_str());
            const std::filesystem::path target = directory / name;
            std::error_code ignored;
            if (std::filesystem::exists(target, ignored) ||
                (!sentFolder.empty() && std::filesystem::exists(sentFolder / name, ignored))) {
                continue;
            }
            handOver.Record("gammu\tlink\t" + directory.string() + "\t" + name);
            const int linked = unnamed ? ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW)
                                       : ::link(temporary.c_str(), target.c_str());
            if (linked == 0) {
                handOver.Record("gammu\tlinked\t" + directory.string() + "\t" + name);
                cleanUp();
                return {};
            }
            saved = errno;
            if (saved != EEXIST) break;
        }
    } catch (...) {
        cleanUp();
        throw;
    }
    cleanUp();
    return failed + std::strerror(saved);
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
    return Hand(store, entry, sms, {}, modem);
}

std::vector<SendReport> SendOutbox(MessageStore& store, const ModemSend& modem) {
    LockFile turn = TakeOutbox();
    std::vector<SendReport> reports;
    for (const auto& message : store.ListFolder(Outbox)) {
        OutgoingSms sms{TextOf(message, PR_DISPLAY_TO_W), TextOf(message, PR_SUBJECT_W)};
        reports.push_back(Hand(store, message.entryId, sms, ToUtf8(TextOf(message, PR_SEND_HANDOVER_W)), modem));
    }
    return reports;
}

HandOver::HandOver(MessageStore& store, EntryId entry, std::string recorded)
    : store_(store), entry_(std::move(entry)), recorded_(std::move(recorded)) {}

void HandOver::Record(const std::string& step) {
    const Property record = Property::Text(PR_SEND_HANDOVER_W, ToUtf16(step));
    if (!store_.SetProperties(Outbox, entry_, {&record, 1})) {
        throw std::runtime_error("the Outbox cannot record how far the message was handed over");
    }
    recorded_ = step;
}

ModemSend GammuOutbox(std::filesystem::path directory, std::filesystem::path sentFolder) {
    return [directory = std::move(directory), sentFolder = std::move(sentFolder)](const OutgoingSms& sms,
                                                                                  HandOver& handOver) {
        return WriteGammuFile(directory, sentFolder, sms, handOver);
    };
}

}  // namespace velmo::device
