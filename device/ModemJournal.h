#pragma once
// What the modem receiver has done with each message it took from a modem, in
// modem-journal.txt in the device root, one line a step, each written before the receiver
// goes on: taken (before the transport stores it), stored (before the rule clients see it),
// filtered, deleted from the modem. A receiver killed at any moment finds here how far the
// message got, so that the next one finishes it instead of storing it a second time. One
// receiver holds the journal at a time; it rewrites itself without the finished messages
// once enough of them pile up.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmo::device {

class ModemJournal {
public:
    enum class Step { Taken, Stored, Filtered, Deleted };

    struct Entry {
        Step step = Step::Taken;
        std::string modem;            // the object paths it was taken from; empty in a journal of
        std::string message;          // an earlier version, which wrote only stored and deleted
        std::uint64_t delivered = 0;  // the FILETIME it is stored with
        // The two counters just before the rule clients saw it, once it is stored.
        std::optional<std::int16_t> blockedBefore;
        std::optional<std::int16_t> silentBefore;
    };

    // Opens the journal, creating it, and takes it for this process; throws
    // std::runtime_error naming why when it cannot, another receiver holding it included.
    ModemJournal();
    ~ModemJournal();
    ModemJournal(const ModemJournal&) = delete;
    ModemJournal& operator=(const ModemJournal&) = delete;

    // The message's entry while it is not deleted from the modem, else nullptr.
    const Entry* Find(const std::string& key) const;
    // The keys of the entries whose key is content (ModemSmsKey) or content followed by "@"
    // and the message's object path: every message of that number, timestamp and text.
    std::vector<std::string> KeysOf(const std::string& content) const;

    // Each appends one line and returns once it is on disk (Deleted only once it is written:
    // losing it costs nothing but a line); false when it could not be written.
    bool Taken(const std::string& key, const std::string& modem, const std::string& message, std::uint64_t delivered);
    bool Stored(const std::string& key, std::int16_t blockedBefore, std::int16_t silentBefore);
    bool Filtered(const std::string& key);
    bool Deleted(const std::string& key);

private:
    bool Append(const std::string& line, bool sync);
    // Replaces the file with the lines of the unfinished entries alone, atomically.
    bool Compact();

    std::string path_;
    int fd_ = -1;
    std::map<std::string, Entry> entries_;
    std::size_t finished_ = 0;  // lines in the file that stand for messages deleted from their modem
};

}  // namespace velmo::device
