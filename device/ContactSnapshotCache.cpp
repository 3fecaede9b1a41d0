#include "device/ContactSnapshotCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

#include "device/DeviceRoot.h"

namespace velmo::device {

ContactSnapshotCache& ContactSnapshotCache::Instance() {
    static ContactSnapshotCache cache;
    return cache;
}

void ContactSnapshotCache::Connect() {
    std::lock_guard lock(mutex_);
    ConnectLocked();
}

void ContactSnapshotCache::ConnectLocked() {
    // A test or a person may point the device elsewhere, or replace contacts.db, between two
    // messages, where an open connection would go on reading the old file; and a child made
    // by fork must not use its parent's connection.
    std::filesystem::path path = DeviceRoot() / "contacts.db";
    struct stat file {};
    if (store_ && path == path_ && process_ == getpid() && stat(path.c_str(), &file) == 0 && file.st_dev == device_ &&
        file.st_ino == inode_) {
        return;
    }
    store_.reset();
    snapshot_.reset();
    store_ = std::make_unique<ContactStore>(ContactStore::Open::ExistingOnly);
    if (stat(path.c_str(), &file) != 0) {
        store_.reset();
        throw std::runtime_error("contacts.db vanished as it was opened");
    }
    path_ = path;
    process_ = getpid();
    device_ = file.st_dev;
    inode_ = file.st_ino;
}

std::shared_ptr<const ContactSnapshot> ContactSnapshotCache::Current() {
    std::lock_guard lock(mutex_);
    ConnectLocked();
    long long version = store_->DataVersion();
    if (!snapshot_ || version != version_) {
        snapshot_ = std::make_shared<const ContactSnapshot>(store_->Load());
        version_ = version;
    }
    return snapshot_;
}

}  // namespace velmo::device
