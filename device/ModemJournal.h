#pragma once
// The messages taken from a modem and stored on the device whose deletion from the modem is
// not confirmed yet, in modem-journal.txt in the device root. Should the receiver end
// between the two, the next one finds the message here and deletes it from the modem
// instead of storing it a second time. One receiver holds the journal at a time.

#include <set>
#include <string>

namespace velmo::device {

class ModemJournal {
public:
    // Opens the journal, creating it, and takes it for this process; throws
    // std::runtime_error naming why when it cannot, another receiver holding it included.
    ModemJournal();
    ~ModemJournal();
    ModemJournal(const ModemJournal&) = delete;
    ModemJournal& operator=(const ModemJournal&) = delete;

    bool Holds(const std::string& key) const { return pending_.count(key) != 0; }
    // Each is one appended line, written before it returns (a killed process keeps it);
    // false when it could not be written.
    bool Stored(const std::string& key);
    bool Deleted(const std::string& key);

private:
    bool Append(char mark, const std::string& key);

    int fd_ = -1;
    std::set<std::string> pending_;
};

}  // namespace velmo::device
