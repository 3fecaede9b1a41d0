// Events, found by name within the process. A name lives as long as a handle to it.

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "device/Text.h"
#include "device/gui/Windows.h"

namespace {

struct Event {
    std::mutex mutex;
    std::condition_variable changed;
    bool manualReset;
    bool signalled;
};

struct EventHandle {
    std::shared_ptr<Event> event;
};

// Waits may come from other threads than the one that sets, so the table is locked.
struct EventTable {
    std::mutex mutex;
    std::map<std::u16string, std::weak_ptr<Event>> named;
    std::set<EventHandle*> handles;

    std::shared_ptr<Event> Find(HANDLE handle) {
        std::lock_guard lock(mutex);
        auto* key = static_cast<EventHandle*>(handle);
        return handles.count(key) != 0 ? key->event : nullptr;
    }
};

EventTable& Table() {
    static EventTable* const table = new EventTable();
    return *table;
}

}  // namespace

extern "C" {

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    std::shared_ptr<Event> event;
    std::u16string key = name != nullptr ? std::u16string(name, velmo::device::Length(name)) : std::u16string();
    if (!key.empty()) event = table.named[key].lock();
    if (event == nullptr) {
        event = std::make_shared<Event>();
        event->manualReset = manualReset != FALSE;
        event->signalled = initialState != FALSE;
        if (!key.empty()) table.named[key] = event;
    }
    auto* handle = new EventHandle{event};
    table.handles.insert(handle);
    return handle;
}

BOOL SetEvent(HANDLE handle) {
    std::shared_ptr<Event> event = Table().Find(handle);
    if (event == nullptr) return FALSE;
    {
        std::lock_guard lock(event->mutex);
        event->signalled = true;
    }
    event->changed.notify_all();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    std::shared_ptr<Event> event = Table().Find(handle);
    if (event == nullptr) return WAIT_FAILED;
    std::unique_lock lock(event->mutex);
    auto signalled = [&event] { return event->signalled; };
    if (milliseconds == INFINITE) {
        event->changed.wait(lock, signalled);
    } else if (!event->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), signalled)) {
        return WAIT_TIMEOUT;
    }
    if (!event->manualReset) event->signalled = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    auto& table = Table();
    std::lock_guard lock(table.mutex);
    auto* key = static_cast<EventHandle*>(handle);
    if (table.handles.erase(key) == 0) return FALSE;
    delete key;
    for (auto it = table.named.begin(); it != table.named.end();) {
        it = it->second.expired() ? table.named.erase(it) : std::next(it);
    }
    return TRUE;
}

}  // extern "C"
