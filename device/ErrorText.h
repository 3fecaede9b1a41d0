#pragma once
// Result codes of the platform in words, for whoever shows a failure to a person: the
// code stays (a script or a search may need it) and its meaning follows it.

#include <string>

#include "device/WinTypes.h"

namespace velmo::device {

// A registry or file function's result: "the registry database cannot be written (1013)".
std::string Win32ErrorText(LONG code);
// A COM or message-store result: "0x80040154, the class is not registered".
std::string HresultText(HRESULT result);

}  // namespace velmo::device
