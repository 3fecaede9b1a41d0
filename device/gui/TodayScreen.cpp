#include "device/gui/TodayScreen.h"

#include <algorithm>
#include <stdexcept>

#include <QDate>
#include <QLocale>
#include <QPainter>

#include "device/Clock.h"
#include "device/MessageStore.h"
#include "device/Text.h"
#include "device/TodayItems.h"
#include "device/gui/HandheldFont.h"
#include "device/gui/WindowLayer.h"

namespace velmo::device::gui {

namespace {

constexpr char16_t kClassName[] = u"TodayScreen";
constexpr char16_t kReadyEvent[] = u"SYSTEM/ShellAPIReady";
constexpr int kRefreshMilliseconds = 2000;
constexpr COLORREF kTextColor = RGB(0, 0, 0);
const QColor kBackground(255, 255, 255);
const QColor kHeaderBackground(31, 78, 140);
// Light enough that the items' black text stays readable on it.
const QColor kChosenBackground(198, 222, 247);

int Scaled(int pixelsAt96) { return pixelsAt96 * ScreenDpi() / 96; }

QString DateLine() {
    SYSTEMTIME now = ToLocalSystemTime(Now());
    return QLocale(QLocale::English, QLocale::UnitedStates)
        .toString(QDate(now.wYear, now.wMonth, now.wDay), QStringLiteral("dddd, MMMM d, yyyy"));
}

template <std::size_t N>
void CopyTruncated(std::u16string_view text, WCHAR (&out)[N]) {
    std::size_t length = std::min(text.size(), N - 1);
    std::copy_n(text.data(), length, out);
    out[length] = u'\0';
}

}  // namespace

TodayScreen::TodayScreen() {
    instance_ = ModuleOfAddress(reinterpret_cast<const void*>(&TodayScreen::WindowProc));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = &TodayScreen::WindowProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = kClassName;
    if (RegisterClassW(&windowClass) == 0) throw std::runtime_error("a Today screen is already open in this process");
    QSize screen = ScreenSize();
    window_ = CreateWindowExW(0, kClassName, u"Today", WS_POPUP, 0, 0, screen.width(), screen.height(), nullptr,
                              nullptr, instance_, this);
    if (window_ == nullptr) {
        UnregisterClassW(kClassName, instance_);
        throw std::runtime_error("cannot create the Today screen's window");
    }
    timer_.setInterval(kRefreshMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Refresh(); });
}

TodayScreen::~TodayScreen() {
    timer_.stop();
    // Item windows go before their libraries, which unregister their classes on unload.
    for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
        DestroyWindow((*it)->record.hwndCustom);
        FreeLibrary((*it)->record.hinstDLL);
    }
    DestroyWindow(window_);
    UnregisterClassW(kClassName, instance_);
    if (ready_ != nullptr) CloseHandle(ready_);
}

std::vector<std::string> TodayScreen::LoadRegisteredItems() {
    std::vector<std::string> problems;
    for (const TodayItemEntry& entry : RegisteredTodayItems()) {
        if (entry.type != TodayCustomItemType || !entry.enabled) continue;
        try {
            AddItem(entry.name, std::filesystem::path(ToUtf8(entry.dll)));
        } catch (const std::exception& e) {
            problems.push_back("Today item \"" + ToUtf8(entry.name) + "\": " + e.what());
        }
    }
    return problems;
}

TODAYLISTITEM& TodayScreen::AddItem(std::u16string_view name, const std::filesystem::path& dll) {
    HMODULE library = LoadLibraryW(ToUtf16(dll.string()).c_str());
    if (library == nullptr) throw std::runtime_error("cannot load " + dll.string());
    auto initialize = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(GetProcAddressW(library, InitializeCustomItemExport));
    if (initialize == nullptr) {
        FreeLibrary(library);
        throw std::runtime_error(dll.string() + " has no InitializeCustomItem");
    }
    auto item = std::make_unique<LoadedItem>();
    TODAYLISTITEM& record = item->record;
    CopyTruncated(name, record.szName);
    record.tlit = tlitCustom;
    record.dwOrder = static_cast<DWORD>(items_.size());
    record.fEnabled = TRUE;
    CopyTruncated(ToUtf16(dll.string()), record.szDLLPath);
    record.hinstDLL = library;
    record.hwndCustom = initialize(&record, window_);
    if (record.hwndCustom == nullptr) {
        FreeLibrary(library);
        throw std::runtime_error(dll.string() + " made no item window");
    }
    items_.push_back(std::move(item));
    return items_.back()->record;
}

void TodayScreen::SetReady() {
    if (ready_ == nullptr) ready_ = CreateEventW(nullptr, TRUE, FALSE, kReadyEvent);
    SetEvent(ready_);
}

QString TodayScreen::UnreadText(std::size_t unread) {
    if (unread == 0) return QStringLiteral("No unread messages");
    if (unread == 1) return QStringLiteral("1 unread message");
    return QStringLiteral("%1 unread messages").arg(unread);
}

void TodayScreen::Refresh() {
    std::size_t unread = 0;
    try {
        // Opened afresh each time: a device without messages.db yet gets one later.
        unread = MessageStore(MessageStore::ReadOnly).CountUnread(u"Inbox");
    } catch (const std::exception&) {
        // A store that cannot be read has nothing to count; the line says so rather than go.
    }
    QString text = UnreadText(unread);
    if (text != messagingText_) {
        messagingText_ = text;
        RECT line{0, HeaderHeight(), Width(), ItemsTop()};
        InvalidateRect(window_, &line, TRUE);
    }
    std::vector<HWND> changed;
    for (auto& item : items_) {
        HWND window = item->record.hwndCustom;
        if (SendMessageW(window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item->record), 0)) {
            changed.push_back(window);
        }
    }
    Layout();
    for (HWND window : changed) InvalidateRect(window, nullptr, TRUE);
    if (DateLine() != paintedDate_) {
        RECT header{0, 0, Width(), HeaderHeight()};
        InvalidateRect(window_, &header, TRUE);
    }
}

void TodayScreen::StartRefreshing() { timer_.start(); }

void TodayScreen::Show() { ShowWindow(window_, SW_SHOW); }

int TodayScreen::HeaderHeight() { return Scaled(24); }

int TodayScreen::MessagingLineHeight() { return Scaled(20); }

void TodayScreen::Layout() {
    int top = ItemsTop();
    int width = Width();
    for (auto& item : items_) {
        int height = static_cast<int>(item->record.cyp);
        if (top != item->top || width != item->width || height != item->height) {
            MoveWindow(item->record.hwndCustom, 0, top, width, height, TRUE);
            item->top = top;
            item->width = width;
            item->height = height;
        }
        top += height;
    }
}

int TodayScreen::Width() const {
    RECT client;
    GetClientRect(window_, &client);
    return client.right;
}

void TodayScreen::OpenMessaging() {
    if (!messagingProgram_.empty()) StartProgram(messagingProgram_);
}

void TodayScreen::Tapped(QPoint point) {
    if (point.y() >= HeaderHeight() && point.y() < ItemsTop()) OpenMessaging();
}

HWND TodayScreen::SelectedWindow() const {
    return selected_ < items_.size() ? items_[selected_]->record.hwndCustom : nullptr;
}

void TodayScreen::Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    paintedDate_ = DateLine();
    RECT client;
    GetClientRect(window_, &client);
    PaintOn(dc, [this, &client](QPainter& painter) {
        painter.fillRect(QRect(0, 0, client.right, client.bottom), kBackground);
        QRect header(0, 0, client.right, HeaderHeight());
        painter.fillRect(header, kHeaderBackground);
        QFont font(HandheldFontFamily());
        font.setPixelSize(Scaled(12));
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        // A screen too narrow for the date ends it in an ellipsis, as wide a margin from the right edge.
        QRect text = header.adjusted(Scaled(6), 0, -Scaled(6), 0);
        QString shown = painter.fontMetrics().elidedText(paintedDate_, Qt::ElideRight, text.width());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, shown);

        QRect line(0, HeaderHeight(), client.right, MessagingLineHeight());
        if (MessagingLineChosen()) painter.fillRect(line, kChosenBackground);
        // An envelope before the count, as the handheld's messaging line has.
        int size = Scaled(12);
        QRect envelope(Scaled(6), line.top() + (line.height() - size * 3 / 4) / 2, size, size * 3 / 4);
        painter.setPen(QPen(QColor(31, 78, 140), std::max(1, Scaled(1))));
        painter.setBrush(QColor(255, 248, 220));
        painter.drawRect(envelope);
        painter.drawLine(envelope.topLeft(), envelope.center());
        painter.drawLine(envelope.topRight(), envelope.center());
        font.setBold(messagingText_ != UnreadText(0));
        painter.setFont(font);
        painter.setPen(Qt::black);
        QRect words = line.adjusted(envelope.right() + Scaled(6), 0, -Scaled(6), 0);
        painter.drawText(words, Qt::AlignLeft | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(messagingText_, Qt::ElideRight, words.width()));
    });
    EndPaint(window_, &ps);
}

void TodayScreen::DrawWatermark(const TODAYDRAWWATERMARKINFO& info) {
    QRect area(info.rc.left, info.rc.top, info.rc.right - info.rc.left, info.rc.bottom - info.rc.top);
    // The item that the arrow keys chose stands out by its background, which it asks for itself.
    const QColor& colour = navigated_ && info.hwnd == SelectedWindow() ? kChosenBackground : kBackground;
    PaintOn(info.hdc, [&area, &colour](QPainter& painter) { painter.fillRect(area, colour); });
}

void TodayScreen::KeyDown(WPARAM key) {
    RECT line{0, HeaderHeight(), Width(), ItemsTop()};
    if (key == VK_DOWN || key == VK_UP) {
        HWND before = SelectedWindow();
        // Places from the top: the Messaging line first, then the items.
        std::size_t places = items_.size() + 1;
        std::size_t place = selected_ == items_.size() ? 0 : selected_ + 1;
        place = (place + (key == VK_DOWN ? 1 : places - 1)) % places;
        selected_ = place == 0 ? items_.size() : place - 1;
        navigated_ = true;
        if (before != nullptr) InvalidateRect(before, nullptr, TRUE);
        if (SelectedWindow() != nullptr) InvalidateRect(SelectedWindow(), nullptr, TRUE);
        InvalidateRect(window_, &line, TRUE);
    } else if (key == VK_RETURN) {
        if (selected_ == items_.size()) {
            OpenMessaging();
        } else {
            SendMessageW(SelectedWindow(), WM_TODAYCUSTOM_ACTION, key, 0);
        }
    }
}

LRESULT CALLBACK TodayScreen::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    auto* self = reinterpret_cast<TodayScreen*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
        case WM_PAINT: self->Paint(); return 0;
        case WM_ERASEBKGND: return 1;  // WM_PAINT covers the whole window
        case WM_KEYDOWN: self->KeyDown(wParam); return 0;
        case WM_LBUTTONUP:
            self->Tapped(QPoint(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))));
            return 0;
        case WM_SIZE: self->Layout(); return 0;
        case TODAYM_GETCOLOR: return wParam == TODAYCOLOR_TEXT ? kTextColor : CLR_INVALID;
        case TODAYM_DRAWWATERMARK:
            if (lParam == 0) return FALSE;
            self->DrawWatermark(*reinterpret_cast<const TODAYDRAWWATERMARKINFO*>(lParam));
            return TRUE;
        default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace velmo::device::gui
