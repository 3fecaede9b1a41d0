#pragma once
// Inside the window layer: what a handle stands for, and the one layer of the process
// that owns every window, device context, font and image list.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <QImage>
#include <QRasterWindow>
#include <QRegion>

#include "device/gui/Resources.h"
#include "device/gui/Windows.h"

namespace velmo::device::gui {

struct WindowClass {
    std::u16string name;  // folded to lower case
    WNDPROC proc;
    HINSTANCE instance;
};

class NativeWindow;

}  // namespace velmo::device::gui

struct HWND__ {
    velmo::device::gui::WindowClass* windowClass;
    std::u16string text;  // the window name; a top-level window's title
    HWND__* parent;
    std::vector<HWND__*> children;  // in creation order; later ones lie on top
    QRect geometry;                 // in the parent's client coordinates
    bool visible = false;
    QRegion update;  // client coordinates
    bool erase = false;
    LONG_PTR userData = 0;
    QImage backing;  // a top-level window's pixels, its children's included
    std::unique_ptr<velmo::device::gui::NativeWindow> native;
};

struct HGDIOBJ__ {
    LOGFONTW font;
    bool stock;  // the system font, whose height follows the screen's resolution
};

struct HDC__ {
    HWND window;    // null for the screen
    QPoint origin;  // the window's client origin in its top-level window
    QRegion clip;   // in the top-level window's coordinates
    HGDIOBJ font;
    COLORREF textColor = RGB(0, 0, 0);
    int bkMode = OPAQUE;
};

struct HIMAGELIST__ {
    QImage strip;  // the pictures side by side, transparent where the mask colour was
    int cx;
    int cy;
};

namespace velmo::device::gui {

class Layer {
public:
    static Layer& Get();

    std::vector<std::unique_ptr<WindowClass>> classes;
    std::unordered_map<HWND, std::unique_ptr<HWND__>> windows;
    std::unordered_map<HDC, std::unique_ptr<HDC__>> contexts;
    std::unordered_map<HGDIOBJ, std::unique_ptr<HGDIOBJ__>> objects;
    std::unordered_map<HIMAGELIST, std::unique_ptr<HIMAGELIST__>> imageLists;
    HGDIOBJ systemFont = nullptr;
    int dpi = 96;

    HWND__* Window(HWND handle);
    HDC__* Context(HDC handle);
    HGDIOBJ__* Object(HGDIOBJ handle);
    HIMAGELIST__* ImageList(HIMAGELIST handle);

private:
    Layer();
};

HWND__* TopLevel(HWND__* window);
// The window's client area in its top-level window's coordinates, cut by its
// ancestors and without its visible children.
QRegion VisibleRegion(HWND__* window);
QPoint ClientOrigin(HWND__* window);
// Sends WM_PAINT to the window and to every visible window below it that has
// something to paint; a top-level window paints its pixels even while hidden.
void PaintPending(HWND__* topLevel);
// Asks the Qt window, if shown, to show the backing pixels again.
void ScheduleShow(HWND__* topLevel);
void RouteButton(HWND__* topLevel, QPoint point, UINT message);
// A module's own resource table, or nullptr when it carries none.
const VelmoResourceTable* ResourcesOf(HINSTANCE instance);
// The pixels of a bitmap resource named by number; a null image when there is none.
QImage BitmapResource(HINSTANCE instance, LPCWSTR name);
// The LOGFONTW of a font object, the stock one at the current resolution.
LOGFONTW FontOf(const HGDIOBJ__& object);

class NativeWindow : public QRasterWindow {
public:
    explicit NativeWindow(HWND handle) : handle_(handle) {}

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    HWND handle_;
};

}  // namespace velmo::device::gui
