#pragma once
// The open link to the device's address book: the application object, its contacts
// folder and the folder's item collection. The handler opens one per message to find
// the sender; VelmoLight keeps one open while its contact list is shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/Poom.h"

namespace velmo {

// The contact's business, business 2, home, home 2, mobile and car numbers that are set, in
// this order: the numbers compared with a sender.
std::vector<std::u16string> CallerIdNumbers(IContact* contact);

class ContactsConnection {
public:
    ContactsConnection() = default;
    ~ContactsConnection() { Close(); }
    ContactsConnection(const ContactsConnection&) = delete;
    ContactsConnection& operator=(const ContactsConnection&) = delete;

    // Initialises COM on the calling thread, creates the application object, logs on and
    // takes the contacts folder and its items. The first step that fails closes whatever
    // was obtained; false then, and the connection stays empty. An open connection is
    // closed first.
    bool Open();
    // Releases the items and the folder, logs off, releases the application object and,
    // when it had been obtained, uninitialises COM. Safe on an empty connection.
    void Close();
    // Takes the folder's items again: a collection holds the contacts as they were when it
    // was taken, so a list loaded anew would not see the contacts added since. The items
    // held so far stay when that fails; false then, and on an empty connection.
    bool Refresh();

    // The first contact, in collection order, with a business, business 2, home, home 2,
    // mobile or car number whose trailing digits match the sender's; key is its object
    // identifier. False when none matches, or when the matching contact's identifier
    // cannot be read.
    bool FindContact(std::u16string_view senderDigits, std::int32_t& key) const;

    // Whether Open succeeded and the connection has not been closed since.
    bool IsOpen() const { return items_ != nullptr; }
    // The result of the step at which the last Open failed (the address book may be
    // unreadable rather than empty); S_OK after an Open that succeeded, or none yet.
    HRESULT OpenFailure() const { return failure_; }
    // Number of contacts; 0 for an empty connection or when the count cannot be read.
    int Count() const;
    // The contact at index 1..Count(), which the caller releases; null when it cannot be had.
    IContact* Item(int index) const;
    // Every contact's object identifier in collection order; 0 for one that cannot be read.
    std::vector<std::int32_t> Keys() const;

private:
    IPOutlookApp* application_ = nullptr;
    IFolder* folder_ = nullptr;
    IPOutlookItemCollection* items_ = nullptr;
    HRESULT failure_ = S_OK;
};

}  // namespace velmo
