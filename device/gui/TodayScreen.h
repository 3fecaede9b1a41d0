#pragma once
// The Today screen: a window of the screen's size (until it is resized) with the date
// line at the top, the Messaging line under it (how many messages of the Inbox are
// unread; a tap opens the Messaging program), and the registered items below, one under
// the other at the height each one sets, as wide as the window. It loads each item's library, asks it for its
// window, asks every item every two seconds whether it changed, forwards taps and the
// action key, and draws the background that items ask for. Needs the process's Qt GUI
// application.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QTimer>

#include "device/gui/Today.h"

namespace velmo::device::gui {

class TodayScreen {
public:
    // The screen's window, not shown yet. Throws std::runtime_error when another
    // Today screen is open in the process.
    TodayScreen();
    ~TodayScreen();
    TodayScreen(const TodayScreen&) = delete;
    TodayScreen& operator=(const TodayScreen&) = delete;

    // Loads every enabled item of type 4 registered with the device; an item that
    // cannot be loaded is left out, and what went wrong is in the result.
    std::vector<std::string> LoadRegisteredItems();
    // Loads the item library at dll and asks it for its window. Throws std::runtime_error.
    TODAYLISTITEM& AddItem(std::u16string_view name, const std::filesystem::path& dll);

    // Sets the shell's ready event: items refresh only once it is set.
    void SetReady();
    // Asks every item whether it changed, lays the items out again and repaints the
    // ones that answered TRUE.
    void Refresh();
    // Places the items one under the other below the date line, each at the height it set.
    void Layout();
    // Refreshes every two seconds from now on.
    void StartRefreshing();
    // The program, with its arguments, that a tap on the Messaging line or the action key on
    // it starts; none by default.
    void SetMessagingProgram(std::vector<std::string> argv) { messagingProgram_ = std::move(argv); }
    // What the Messaging line says since the last refresh: "3 unread messages".
    const QString& MessagingText() const { return messagingText_; }
    void Show();

    HWND Window() const { return window_; }
    std::size_t ItemCount() const { return items_.size(); }
    TODAYLISTITEM& Item(std::size_t index) { return items_.at(index)->record; }
    // The height of the date line, in pixels at the screen's resolution.
    static int HeaderHeight();
    // The height of the Messaging line below it; the items begin under both.
    static int MessagingLineHeight();
    static int ItemsTop() { return HeaderHeight() + MessagingLineHeight(); }

private:
    struct LoadedItem {
        TODAYLISTITEM record{};
        int top = -1;
        int width = -1;
        int height = -1;
    };

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();
    void DrawWatermark(const TODAYDRAWWATERMARKINFO& info);
    void KeyDown(WPARAM key);
    void Tapped(QPoint point);
    void OpenMessaging();
    static QString UnreadText(std::size_t unread);
    HWND SelectedWindow() const;
    bool MessagingLineChosen() const { return navigated_ && selected_ == items_.size(); }
    // The window's width, which follows a resize of its Qt window.
    int Width() const;

    HINSTANCE instance_ = nullptr;
    HWND window_ = nullptr;
    HANDLE ready_ = nullptr;
    std::vector<std::unique_ptr<LoadedItem>> items_;
    // The chosen item; items_.size() for the Messaging line, which the arrow keys reach
    // before the first item.
    std::size_t selected_ = 0;
    // The chosen item is shown once the arrow keys have moved the choice.
    bool navigated_ = false;
    QString paintedDate_;
    QString messagingText_;
    std::vector<std::string> messagingProgram_;
    QTimer timer_;
};

}  // namespace velmo::device::gui
