#include "common/BlockedMessageMove.h"

#include "common/BlockedMessageFile.h"
#include "common/ComRef.h"
#include "common/PropValues.h"

namespace velmo {

namespace {

constexpr ULONG BlockedRecordTags[] = {PR_SENDER_EMAIL_ADDRESS_W, PR_SUBJECT_W, PR_MESSAGE_DELIVERY_TIME,
                                       PR_SENDER_NAME_W};

bool Open(IMsgStore* store, const std::vector<std::uint8_t>& id, const IID& interface, ComRef<IUnknown>& opened) {
    auto* bytes = const_cast<std::uint8_t*>(id.data());
    return SUCCEEDED(store->OpenEntry(static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(bytes), &interface, 0,
                                      nullptr, opened.Receive())) &&
           opened.Get() != nullptr;
}

}  // namespace

bool AppendBlockedRecord(SettingsStore& settings, IMessage* message, BlockedMessageRecord& record) {
    PropValues props;
    if (!props.Read(message, BlockedRecordTags)) return false;
    const SPropValue* delivered = props.Get(2, PR_MESSAGE_DELIVERY_TIME);
    record = MakeBlockedMessageRecord(props.Text(0, PR_SENDER_EMAIL_ADDRESS_W), props.Text(1, PR_SUBJECT_W),
                                      props.Text(3, PR_SENDER_NAME_W),
                                      delivered != nullptr ? delivered->Value.ft : FILETIME{});
    char16_t path[MAX_PATH] = {};
    if (!settings.MessagesPath(path)) return false;
    return AppendBlockedMessage(path, props.Text(0, PR_SENDER_EMAIL_ADDRESS_W), props.Text(1, PR_SUBJECT_W),
                                props.Text(3, PR_SENDER_NAME_W),
                                delivered != nullptr ? delivered->Value.ft : FILETIME{});
}

bool TakeBackBlockedRecord(SettingsStore& settings, const BlockedMessageRecord& record) {
    char16_t path[MAX_PATH] = {};
    if (!settings.MessagesPath(path)) return false;
    BlockedMessageFile file;
    file.SetPath(path);
    file.Open();
    return file.TakeBackLast(record);
}

bool DeleteFolderEntry(IMAPIFolder* folder, ULONG cbMsg, LPENTRYID lpMsg) {
    SBinary entry{cbMsg, reinterpret_cast<LPBYTE>(lpMsg)};
    ENTRYLIST list{1, &entry};
    // A partial completion of a one-entry list means the message is still there.
    return folder->DeleteMessages(&list, 0, nullptr, 0) == S_OK;
}

BlockResult BlockStoredMessage(SettingsStore& settings, IMsgStore* store, const std::vector<std::uint8_t>& folder,
                               const std::vector<std::uint8_t>& message) {
    ComRef<IUnknown> openedFolder;
    ComRef<IUnknown> openedMessage;
    if (store == nullptr || !Open(store, folder, IID_IMAPIFolder, openedFolder) ||
        !Open(store, message, IID_IMessage, openedMessage)) {
        return BlockResult::NotFound;
    }
    // Asked for an interface, the store answers with that interface.
    auto* folderInterface = static_cast<IMAPIFolder*>(openedFolder.Get());
    BlockedMessageRecord record{};
    if (!AppendBlockedRecord(settings, static_cast<IMessage*>(openedMessage.Get()), record)) {
        return BlockResult::NotAppended;
    }
    auto* bytes = const_cast<std::uint8_t*>(message.data());
    if (!DeleteFolderEntry(folderInterface, static_cast<ULONG>(message.size()), reinterpret_cast<LPENTRYID>(bytes))) {
        return BlockResult::NotDeleted;
    }
    return BlockResult::Blocked;
}

}  // namespace velmo
