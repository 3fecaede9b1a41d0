#include "today/TodayItem.h"

#include <cstdint>
#include <initializer_list>

#include "app/resources/StateBitmap.h"
#include "common/SettingsStore.h"
#include "today/Resources.h"

namespace velmo {

namespace {

// Where the picture sits and where a tap steps the state, in pixels at 96 DPI.
constexpr RECT kStateBox{1, 1, 28, 19};
constexpr int kItemHeight = 21;
constexpr COLORREF kMaskColor = 0x00FFFFFF;
constexpr int kTextLength = 128;
constexpr char16_t kShellReadyEvent[] = u"SYSTEM/ShellAPIReady";
constexpr char16_t kProgramFile[] = u"VelmoLight.exe";

// The library's process-wide state: the Today screen shows one item per process.
struct ItemState {
    HINSTANCE instance = nullptr;
    HFONT font = nullptr;
    HIMAGELIST pictures = nullptr;
    std::int16_t blocked = -1;
    std::int16_t silent = -1;
    std::int16_t programState = -1;
    std::int16_t itemsMode = -1;
    bool resolutionsRead = false;
    int resolutionX = -1;
    int resolutionY = -1;
};
ItemState item;

int Scale(int value, int dpi) {
    int scaled = ((value < 0 ? -value : value) * dpi + 48) / 96;
    return value < 0 ? -scaled : scaled;
}

void ReadResolutions() {
    if (item.resolutionsRead) return;
    item.resolutionsRead = true;
    if (HDC screen = GetDC(nullptr)) {
        item.resolutionX = GetDeviceCaps(screen, LOGPIXELSX);
        item.resolutionY = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
    }
}

int ResolutionX() {
    ReadResolutions();
    return item.resolutionX;
}

int ResolutionY() {
    ReadResolutions();
    return item.resolutionY;
}

// The state box grows with the screen's resolution, so that the picture and the
// part of the item that steps the state stay where the eye and the finger expect them.
RECT StateBox() {
    return RECT{Scale(kStateBox.left, ResolutionX()), Scale(kStateBox.top, ResolutionY()),
                Scale(kStateBox.right, ResolutionX()), Scale(kStateBox.bottom, ResolutionY())};
}

bool InStateBox(int x, int y) {
    RECT box = StateBox();
    return x >= box.left && x < box.right && y >= box.top && y < box.bottom;
}

void CreateDrawingResources() {
    if (item.font == nullptr) {
        LOGFONTW logFont{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof logFont, &logFont);
        HDC screen = GetDC(nullptr);
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        logFont.lfWeight = FW_BOLD;
        logFont.lfHeight = -static_cast<LONG>(dpi / 9.0 + 0.5);  // 8 points
        item.font = CreateFontIndirectW(&logFont);
    }
    if (item.pictures == nullptr) {
        item.pictures = ImageList_LoadImage(item.instance, MAKEINTRESOURCEW(IDB_STATE_ICONS), kStateIconWidth, 0,
                                            kMaskColor, IMAGE_BITMAP, 0);
    }
}

void DestroyDrawingResources() {
    DeleteObject(item.font);
    item.font = nullptr;
    ImageList_Destroy(item.pictures);
    item.pictures = nullptr;
}

// The shell answers with its ready event only once it is up; until then nothing changes.
bool ShellNotReady() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, kShellReadyEvent);
    if (ready == nullptr) return false;
    DWORD outcome = WaitForSingleObject(ready, 0);
    CloseHandle(ready);
    return outcome == WAIT_TIMEOUT;
}

BOOL RefreshCheck(TODAYLISTITEM* listItem) {
    if (listItem == nullptr || ShellNotReady()) return FALSE;
    SettingsStore settings;
    std::int16_t blocked = settings.GetBlockedMsg();
    std::int16_t silent = settings.GetSilentMsg();
    std::int16_t programState = settings.GetActiveState();
    std::int16_t itemsMode = settings.GetItemsState();
    // Compared with what was drawn, so that counts reset to zero show at once and
    // unchanged ones cost no repaint.
    BOOL changed = blocked != item.blocked || silent != item.silent || programState != item.programState ||
                   itemsMode != item.itemsMode;
    item.blocked = blocked;
    item.silent = silent;
    item.programState = programState;
    item.itemsMode = itemsMode;
    if (listItem->cyp == 0) {
        listItem->cyp = static_cast<DWORD>((kItemHeight * ResolutionY() + 48) / 96);
        return TRUE;
    }
    return changed;
}

// Every state in which the handler does not filter shows as Disabled.
int PictureIndex(std::int16_t programState) {
    switch (programState) {
        case Active: return 0;
        case ActiveBySchedule: return 2;
        default: return 1;
    }
}

// Each "%d" of format takes the next number and "%%" is a percent sign; the result is
// cut to the buffer and always terminated.
void FormatNumbers(const char16_t* format, std::initializer_list<int> numbers, char16_t* out, int size) {
    const int* next = numbers.begin();
    int length = 0;
    auto put = [&](char16_t c) {
        if (length < size - 1) out[length++] = c;
    };
    for (const char16_t* p = format; *p != u'\0'; ++p) {
        if (p[0] == u'%' && p[1] == u'd' && next != numbers.end()) {
            int number = *next++;
            char16_t digits[12];
            int count = 0;
            long long magnitude = number < 0 ? -static_cast<long long>(number) : number;
            do {
                digits[count++] = static_cast<char16_t>(u'0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude != 0);
            if (number < 0) put(u'-');
            while (count > 0) put(digits[--count]);
            ++p;
        } else if (p[0] == u'%' && p[1] == u'%') {
            put(u'%');
            ++p;
        } else {
            put(*p);
        }
    }
    out[length] = u'\0';
}

void Paint(HWND window) {
    RECT client;
    GetClientRect(window, &client);
    auto textColor = static_cast<COLORREF>(SendMessageW(GetParent(window), TODAYM_GETCOLOR, TODAYCOLOR_TEXT, 0));
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);

    RECT box = StateBox();
    int pictureWidth = 0, pictureHeight = 0;
    ImageList_GetIconSize(item.pictures, &pictureWidth, &pictureHeight);
    // Drawn at the item's scale, so that it fills its box as at 96 DPI and stays left of the text.
    int width = Scale(pictureWidth, ResolutionX());
    int height = Scale(pictureHeight, ResolutionY());
    ImageList_DrawEx(item.pictures, PictureIndex(item.programState), dc, box.left,
                     box.top + (box.bottom - height - box.top) / 2, width, height, CLR_NONE, CLR_DEFAULT,
                     ILD_TRANSPARENT | ILD_SCALE);

    SetBkMode(dc, TRANSPARENT);
    HGDIOBJ previousFont = SelectObject(dc, item.font);
    SetTextColor(dc, textColor);
    char16_t format[kTextLength] = {};
    LoadStringW(item.instance, CountersFormatString, format, kTextLength);
    char16_t text[kTextLength];
    FormatNumbers(format, {item.blocked, item.silent}, text, kTextLength);
    RECT textArea = client;
    textArea.left = box.right + 2 * Scale(2, ResolutionX());
    // A line wider than the item ends in an ellipsis rather than in half a glyph.
    DrawTextW(dc, text, -1, &textArea, DT_VCENTER | DT_END_ELLIPSIS);

    SelectObject(dc, previousFont);
    EndPaint(window, &ps);
}

void StepProgramState(HWND window, int x, int y) {
    if (!InStateBox(x, y)) return;
    SettingsStore settings;
    std::int16_t state = settings.GetActiveState();
    // A state the handler does not know is drawn as Disabled, so it steps as Disabled does.
    std::int16_t next = state == Active || state == ActiveBySchedule ? static_cast<std::int16_t>(state + 1)
                                                                     : static_cast<std::int16_t>(Active);
    // Only a state that was stored is drawn; otherwise the picture would claim what the handler never sees.
    item.programState = settings.SetActiveState(next) ? next : state;
    InvalidateRect(window, nullptr, TRUE);
}

// Starts nothing when "AppPath" is unset or the program's path would not fit: a cut
// path could name another program.
void StartApplication(int x, int y) {
    if (InStateBox(x, y)) return;
    char16_t path[MAX_PATH];
    SettingsStore settings;
    if (!settings.AppFilePath(kProgramFile, path)) return;
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpFile = path;
    ShellExecuteEx(&info);
}

void DrawWatermark(HWND window, HDC dc) {
    TODAYDRAWWATERMARKINFO info{};
    info.hdc = dc;
    GetClientRect(window, &info.rc);
    info.hwnd = window;
    SendMessageW(GetParent(window), TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&info));
}

}  // namespace

void AttachTodayItem(HINSTANCE instance) {
    item.instance = instance;
    UnregisterClassW(TodayItemClassName, instance);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TodayItemWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = TodayItemClassName;
    RegisterClassW(&windowClass);
}

void DetachTodayItem() { UnregisterClassW(TodayItemClassName, item.instance); }

HWND CreateTodayItemWindow(HWND parent) {
    HWND window = CreateWindowExW(0, TodayItemClassName, TodayItemClassName, WS_CHILD | WS_VISIBLE, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr, item.instance, nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

LRESULT CALLBACK TodayItemWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: CreateDrawingResources(); break;
        case WM_DESTROY: DestroyDrawingResources(); return 0;
        case WM_PAINT: Paint(window); return 0;
        case WM_ERASEBKGND: DrawWatermark(window, reinterpret_cast<HDC>(wParam)); return 0;
        case WM_LBUTTONDOWN:
            StepProgramState(window, LOWORD(static_cast<std::uintptr_t>(lParam)),
                             HIWORD(static_cast<std::uintptr_t>(lParam)));
            return 0;
        case WM_LBUTTONUP:
            StartApplication(LOWORD(static_cast<std::uintptr_t>(lParam)), HIWORD(static_cast<std::uintptr_t>(lParam)));
            return 1;
        case WM_TODAYCUSTOM_QUERYREFRESHCACHE: return RefreshCheck(reinterpret_cast<TODAYLISTITEM*>(wParam));
        case WM_TODAYCUSTOM_ACTION: StepProgramState(window, StateBox().left + 1, StateBox().top + 1); return 0;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace velmo
