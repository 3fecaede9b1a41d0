#pragma once
// The handheld's numbers that VelmoLight's dialogs exchange: command and result
// identifiers, notification codes, drawing flags and key codes.

#include <cstdint>

#include "device/WinTypes.h"

namespace velmo {

// Dialog results and the commands that close a dialog.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr int kClosedByWindow = 16;  // the result of a dialog closed as a window (WM_CLOSE)

// InitFullScreenDialog flags.
inline constexpr unsigned SHIDIF_DONEBUTTON = 0x0001;
inline constexpr unsigned SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
inline constexpr unsigned SHIDIF_SIPDOWN = 0x0008;
inline constexpr unsigned kFullScreenDialogFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN;

// Message-box flags.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_YESNO = 0x04;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30;

// Owner-drawn item states.
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODS_FOCUS = 0x0010;

// Edit-box notifications.
inline constexpr int EN_SETFOCUS = 0x0100;
inline constexpr int EN_KILLFOCUS = 0x0200;
inline constexpr int EN_UPDATE = 0x0400;

// List notifications.
inline constexpr int NM_CLICK = -2;
inline constexpr int LVN_KEYDOWN = -155;
inline constexpr int LVN_ODFINDITEMW = -179;

// Virtual key codes.
inline constexpr unsigned VK_BACK = 0x08;
inline constexpr unsigned VK_TAB = 0x09;
inline constexpr unsigned VK_RETURN = 0x0D;
inline constexpr unsigned VK_SHIFT = 0x10;
inline constexpr unsigned VK_CONTROL = 0x11;
inline constexpr unsigned VK_MENU = 0x12;
inline constexpr unsigned VK_ESCAPE = 0x1B;
inline constexpr unsigned VK_SPACE = 0x20;
inline constexpr unsigned VK_PRIOR = 0x21;
inline constexpr unsigned VK_NEXT = 0x22;
inline constexpr unsigned VK_END = 0x23;
inline constexpr unsigned VK_HOME = 0x24;
inline constexpr unsigned VK_LEFT = 0x25;
inline constexpr unsigned VK_UP = 0x26;
inline constexpr unsigned VK_RIGHT = 0x27;
inline constexpr unsigned VK_DOWN = 0x28;
inline constexpr unsigned VK_INSERT = 0x2D;
inline constexpr unsigned VK_DELETE = 0x2E;
inline constexpr unsigned VK_F1 = 0x70;
inline constexpr unsigned VK_UNMAPPED = 0xFF;  // a key without a code of its own

// DrawText formats.
inline constexpr unsigned DT_LEFT = 0x0000;
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_VCENTER = 0x0004;
inline constexpr unsigned DT_BOTTOM = 0x0008;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_NOCLIP = 0x0100;
inline constexpr unsigned DT_CALCRECT = 0x0400;
inline constexpr unsigned DT_END_ELLIPSIS = 0x8000;

// Colours as the handheld writes them: 0x00BBGGRR.
constexpr std::uint32_t RGB(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }

// The fill of the chosen row in every list of the program.
constexpr std::uint32_t kChosenRowColour = RGB(49, 142, 206);

}  // namespace velmo
