#pragma once
// The handler's work for one incoming SMS: decide whether and how it is filtered, and
// carry that out on the message store. The rule client hands each call straight here.

#include "device/MailRuleClient.h"
#include "device/Mapi.h"

namespace velmo {

// Reads the settings and the clock afresh; when filtering is off the handled result is
// MRC_NOT_HANDLED. Otherwise opens the message and the destination folder, decides the action
// (asking the address book and ContactsInfo.dat only in UserSettings mode) and accepts, dismisses
// or silently accepts the message. Returns S_OK, or the failure of opening the message or the
// folder, in which case neither out-parameter is written. An address book that cannot be read,
// and a dismissal or silent accept that cannot be carried out whole (and is undone), answer
// their failure with MRC_NOT_HANDLED: the message stays with the transport as it came.
HRESULT ProcessMessage(IMsgStore* store, ULONG cbMsg, LPENTRYID lpMsg, ULONG cbDestFolder, LPENTRYID lpDestFolder,
                       ULONG* pulEventType, MRCHANDLED* pHandled);

}  // namespace velmo
