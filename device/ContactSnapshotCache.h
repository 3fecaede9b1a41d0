#pragma once
// The address book's contacts as this process last read them from contacts.db, read again
// only when the file has changed since, as a handheld's address-book service keeps its own
// copy. A change committed by any other connection or process is seen at the next use.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "device/ContactStore.h"

namespace velmo::device {

class ContactSnapshotCache {
public:
    // The one cache of this process.
    static ContactSnapshotCache& Instance();

    // Opens contacts.db of the current device root, unless the cache already reads that very
    // file. Throws std::runtime_error when it cannot be opened, or there is none: reading
    // never creates the address book.
    void Connect();
    // Every contact as contacts.db holds it now; the same snapshot as before while nothing has
    // been committed to the file since. Throws std::runtime_error.
    std::shared_ptr<const ContactSnapshot> Current();

private:
    ContactSnapshotCache() = default;
    void ConnectLocked();

    std::mutex mutex_;
    std::filesystem::path path_;
    pid_t process_ = 0;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::unique_ptr<ContactStore> store_;
    std::shared_ptr<const ContactSnapshot> snapshot_;
    long long version_ = 0;
};

}  // namespace velmo::device
