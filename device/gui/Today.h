#pragma once
// The Today screen's contract with its items: the record it keeps per item, the
// custom-item messages it sends, the requests an item may send back, and the export
// that every item library offers.

#include "device/gui/Windows.h"

constexpr int MAX_ITEMNAME = 32;

enum TODAYLISTITEMTYPE : int {
    tlitCustom = 4,  // an item drawn by a library of its own
};

struct TODAYLISTITEM {
    WCHAR szName[MAX_ITEMNAME];
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;  // the item's height in pixels; the item sets it
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grfFlags;
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    BYTE* prgbCachedData;
    DWORD cbCachedData;
};

struct TODAYDRAWWATERMARKINFO {
    HDC hdc;
    RECT rc;
    HWND hwnd;
};

// Sent by the Today screen to an item window.
constexpr UINT WM_TODAYCUSTOM_CLEARCACHE = WM_USER + 242;
constexpr UINT WM_TODAYCUSTOM_QUERYREFRESHCACHE = WM_USER + 243;  // wParam: TODAYLISTITEM*
constexpr UINT WM_TODAYCUSTOM_RECEIVEDSELECTION = WM_USER + 244;
constexpr UINT WM_TODAYCUSTOM_LOSTSELECTION = WM_USER + 245;
constexpr UINT WM_TODAYCUSTOM_USERNAVIGATION = WM_USER + 246;
constexpr UINT WM_TODAYCUSTOM_ACTION = WM_USER + 247;  // wParam: the key

// Sent by an item to the Today screen.
constexpr UINT TODAYM_GETCOLOR = WM_USER + 100;       // wParam: TODAYCOLOR_*; result: COLORREF
constexpr UINT TODAYM_DRAWWATERMARK = WM_USER + 101;  // lParam: TODAYDRAWWATERMARKINFO*
constexpr WPARAM TODAYCOLOR_TEXT = 0x10000004;

// The item library's export.
using PFNCUSTOMINITIALIZEITEM = HWND (*)(TODAYLISTITEM* ptli, HWND hwndParent);
inline constexpr const char16_t* InitializeCustomItemExport = u"InitializeCustomItem";
