#pragma once
// vCard 2.1, 3.0 and 4.0 files read into address-book contacts.
//
// Read: folded lines; quoted-printable values with soft line breaks; CHARSET (UTF-8,
// US-ASCII, ISO-8859-1, WINDOWS-1252); escaped characters; grouped properties
// (item1.TEL); TYPE= lists, quoted or not, and the bare types of 2.1; tel: URIs; files in
// UTF-8 or, with a byte-order mark, UTF-16. Taken from a card: N (last name; first name),
// FN (file-as name), the first unit of ORG (company), TEL and the first three EMAIL;
// everything else (PHOTO, ADR, NOTE, nested cards…) is skipped.
//
// Telephone numbers are filed in two passes. First, in file order, each number typed as
// one kind goes to that kind's field while it is free: FAX to the business fax (the home
// fax when also typed HOME; the other fax field when the first is taken), PAGER to the
// pager, CELL to the mobile, CAR to the car, RADIO to the radio, WORK to business then
// business 2, HOME to home then home 2; when a number carries several of these types the
// first in that order decides ("work,cell" is a mobile, "home,fax" a home fax). Then, in
// file order, every other voice number (untyped, VOICE, MAIN, custom labels, and typed
// ones whose fields were taken) goes to the first free of mobile, home, business, home 2,
// business 2. A number that finds no free field is left out and named in the notes; fax
// and pager numbers never take a voice field, since the filter must not match them.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/ContactStore.h"

namespace velmo::device {

struct VCardError {
    std::size_t line;     // 1-based line of the file where reading stopped
    std::string message;  // "line 12: ..."
};

struct VCardContents {
    std::vector<ContactEntry> contacts;
    std::vector<std::string> notes;   // what was read but left out, each naming its line
    std::optional<VCardError> error;  // set when the file cannot be read; then nothing else is
};

VCardContents ParseVCards(std::string_view bytes);

struct VCardImport {
    std::vector<LONG> oids;
    std::vector<std::string> notes;
    std::size_t alreadyThere = 0;  // cards left out because the book holds them
};

// Whether a card that the address book already holds is added once more. A card is already
// there when a contact has the same name (first, last, file-as, company) and the same
// numbers in the same fields (telephone, fax, pager); its e-mail addresses do not count.
enum class DuplicateCards { Skip, Add };

// The largest file that ImportVCardFile reads; a phone's whole address book with photos
// stays far below it.
inline constexpr std::uintmax_t MaxVCardFileBytes = 64ull << 20;

// Reads the file and adds all of its contacts in one transaction, or none of them; a
// file larger than MaxVCardFileBytes is refused unread.
// Throws std::runtime_error naming the file (and the line, for a card that cannot be read).
VCardImport ImportVCardFile(ContactStore& store, const std::filesystem::path& file,
                            DuplicateCards duplicates = DuplicateCards::Add);

}  // namespace velmo::device
