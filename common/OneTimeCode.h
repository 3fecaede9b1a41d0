#pragma once
// The one-time-code rule beside the spam scorer: a message that carries a verification,
// security, login or confirmation code, an OTP or a passcode is never given the spam action,
// whatever the model scores it. A scam dressed as a code then reaches the Inbox, where the user
// can still block it; a code that never arrives locks a person out.

#include <string_view>

namespace velmo {

// Whether text names a one-time code (in English or one of the other languages listed in the
// rule) with a code of 4 to 8 digits or letters close before or after the name.
bool CarriesOneTimeCode(std::u16string_view text);

}  // namespace velmo
