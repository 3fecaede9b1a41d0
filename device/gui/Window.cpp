// Window classes, windows, messages and the update regions that lead to WM_PAINT.

#include <algorithm>

#include "device/Text.h"
#include "device/gui/Layer.h"
#include "device/gui/WindowLayer.h"

namespace velmo::device::gui {

namespace {

constexpr ATOM kFirstAtom = 0xC000;
constexpr int kScreenWidthAt96 = 240;
constexpr int kScreenHeightAt96 = 320;

std::u16string FoldedName(LPCWSTR name) {
    std::u16string folded(name, Length(name));
    for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
    }
    return folded;
}

WindowClass* FindClass(LPCWSTR name, HINSTANCE instance) {
    if (name == nullptr) return nullptr;
    std::u16string folded = FoldedName(name);
    for (auto& c : Layer::Get().classes) {
        if (c->name == folded && c->instance == instance) return c.get();
    }
    return nullptr;
}

QRect ClientRect(const HWND__* window) { return QRect(QPoint(0, 0), window->geometry.size()); }

void Invalidate(HWND__* window, const QRegion& region, bool erase) {
    QRegion part = region.intersected(ClientRect(window));
    if (part.isEmpty()) return;
    window->update += part;
    window->erase = window->erase || erase;
    ScheduleShow(TopLevel(window));
}

// A top-level window's pixels are lost when it is resized, its children's with them.
void InvalidateTree(HWND__* window) {
    Invalidate(window, ClientRect(window), true);
    for (HWND__* child : window->children) InvalidateTree(child);
}

// What the window covered in its parent, so that the parent paints it again.
void ExposeInParent(HWND__* window) {
    if (window->parent != nullptr && window->visible) Invalidate(window->parent, window->geometry, true);
}

void Destroy(HWND__* window) {
    HWND handle = window;
    SendMessageW(handle, WM_DESTROY, 0, 0);
    if (Layer::Get().Window(handle) == nullptr) return;
    std::vector<HWND__*> children = window->children;
    for (HWND__* child : children) {
        if (Layer::Get().Window(child) != nullptr) Destroy(child);
    }
    if (window->parent != nullptr) {
        auto& siblings = window->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
        ExposeInParent(window);
    }
    Layer::Get().windows.erase(handle);
}

HWND__* WindowAt(HWND__* window, QPoint point) {
    for (auto it = window->children.rbegin(); it != window->children.rend(); ++it) {
        HWND__* child = *it;
        if (child->visible && child->geometry.contains(point)) {
            return WindowAt(child, point - child->geometry.topLeft());
        }
    }
    return window;
}

}  // namespace

Layer& Layer::Get() {
    // Never destroyed: libraries unregister their classes from their unload code,
    // which at process exit runs after every static destructor.
    static Layer* const layer = new Layer();
    return *layer;
}

Layer::Layer() {
    auto font = std::make_unique<HGDIOBJ__>(HGDIOBJ__{LOGFONTW{}, true});
    systemFont = font.get();
    objects.emplace(systemFont, std::move(font));
}

HWND__* Layer::Window(HWND handle) { return windows.count(handle) != 0 ? handle : nullptr; }
HDC__* Layer::Context(HDC handle) { return contexts.count(handle) != 0 ? handle : nullptr; }
HGDIOBJ__* Layer::Object(HGDIOBJ handle) { return objects.count(handle) != 0 ? handle : nullptr; }
HIMAGELIST__* Layer::ImageList(HIMAGELIST handle) { return imageLists.count(handle) != 0 ? handle : nullptr; }

HWND__* TopLevel(HWND__* window) {
    while (window->parent != nullptr) window = window->parent;
    return window;
}

QPoint ClientOrigin(HWND__* window) {
    QPoint origin(0, 0);
    for (; window->parent != nullptr; window = window->parent) origin += window->geometry.topLeft();
    return origin;
}

QRegion VisibleRegion(HWND__* window) {
    QRegion region(QRect(ClientOrigin(window), window->geometry.size()));
    for (HWND__* ancestor = window->parent; ancestor != nullptr; ancestor = ancestor->parent) {
        region &= QRect(ClientOrigin(ancestor), ancestor->geometry.size());
    }
    QPoint origin = ClientOrigin(window);
    for (HWND__* child : window->children) {
        if (child->visible) region -= child->geometry.translated(origin);
    }
    return region;
}

void PaintPending(HWND__* window) {
    HWND handle = window;
    if (!window->update.isEmpty()) {
        SendMessageW(handle, WM_PAINT, 0, 0);
        if (Layer::Get().Window(handle) == nullptr) return;
        // A window procedure that does not validate would otherwise be asked forever.
        window->update = QRegion();
        window->erase = false;
    }
    std::vector<HWND__*> children = window->children;
    for (HWND__* child : children) {
        if (Layer::Get().Window(child) != nullptr && child->visible) PaintPending(child);
    }
}

void RouteButton(HWND__* topLevel, QPoint point, UINT message) {
    HWND__* target = WindowAt(topLevel, point);
    QPoint client = point - ClientOrigin(target);
    WPARAM keys = message == WM_LBUTTONDOWN ? MK_LBUTTON : 0;
    SendMessageW(target, message, keys, MAKELPARAM(static_cast<WORD>(client.x()), static_cast<WORD>(client.y())));
}

void SetScreenDpi(int dpi) { Layer::Get().dpi = dpi; }

int ScreenDpi() { return Layer::Get().dpi; }

QSize ScreenSize() {
    int dpi = ScreenDpi();
    return QSize(kScreenWidthAt96 * dpi / 96, kScreenHeightAt96 * dpi / 96);
}

QImage RenderWindow(HWND handle) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return QImage();
    HWND__* top = TopLevel(window);
    PaintPending(top);
    if (Layer::Get().Window(handle) == nullptr) return QImage();
    return top->backing.copy(QRect(ClientOrigin(window), window->geometry.size()));
}

void Tap(HWND handle, QPoint point) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return;
    RouteButton(window, point, WM_LBUTTONDOWN);
    if (Layer::Get().Window(handle) != nullptr) RouteButton(window, point, WM_LBUTTONUP);
}

}  // namespace velmo::device::gui

using velmo::device::gui::Layer;
using velmo::device::gui::WindowClass;

extern "C" {

ATOM RegisterClassW(const WNDCLASSW* wc) {
    if (wc == nullptr || wc->lpfnWndProc == nullptr || wc->lpszClassName == nullptr || *wc->lpszClassName == u'\0') {
        return 0;
    }
    if (velmo::device::gui::FindClass(wc->lpszClassName, wc->hInstance) != nullptr) return 0;
    auto& classes = Layer::Get().classes;
    classes.push_back(std::make_unique<WindowClass>(
        WindowClass{velmo::device::gui::FoldedName(wc->lpszClassName), wc->lpfnWndProc, wc->hInstance}));
    return static_cast<ATOM>(velmo::device::gui::kFirstAtom + classes.size());
}

BOOL UnregisterClassW(LPCWSTR name, HINSTANCE instance) {
    WindowClass* found = velmo::device::gui::FindClass(name, instance);
    if (found == nullptr) return FALSE;
    auto& layer = Layer::Get();
    for (auto& [handle, window] : layer.windows) {
        if (window->windowClass == found) return FALSE;
    }
    layer.classes.erase(
        std::find_if(layer.classes.begin(), layer.classes.end(), [found](const auto& c) { return c.get() == found; }));
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parentHandle, HMENU menu, HINSTANCE instance, LPVOID param) {
    auto& layer = Layer::Get();
    WindowClass* windowClass = velmo::device::gui::FindClass(className, instance);
    HWND__* parent = layer.Window(parentHandle);
    if (windowClass == nullptr || (parentHandle != nullptr && parent == nullptr)) return nullptr;

    auto window = std::make_unique<HWND__>();
    window->windowClass = windowClass;
    if (windowName != nullptr) window->text = windowName;
    window->parent = parent;
    if (parent == nullptr) {
        // A top-level window left to its defaults covers the screen.
        QSize screen = velmo::device::gui::ScreenSize();
        window->geometry =
            QRect(x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                  width == CW_USEDEFAULT ? screen.width() : width, height == CW_USEDEFAULT ? screen.height() : height);
        window->backing = QImage(window->geometry.size(), QImage::Format_RGB32);
        window->backing.fill(Qt::white);
    } else {
        window->geometry = QRect(x == CW_USEDEFAULT ? 0 : x, y == CW_USEDEFAULT ? 0 : y,
                                 width == CW_USEDEFAULT ? 0 : width, height == CW_USEDEFAULT ? 0 : height);
        parent->children.push_back(window.get());
    }
    HWND handle = window.get();
    layer.windows.emplace(handle, std::move(window));

    CREATESTRUCTW create{param,
                         instance,
                         menu,
                         parentHandle,
                         handle->geometry.height(),
                         handle->geometry.width(),
                         handle->geometry.y(),
                         handle->geometry.x(),
                         static_cast<LONG>(style),
                         windowName,
                         className,
                         exStyle};
    if (SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0 && layer.Window(handle) != nullptr) ShowWindow(handle, SW_SHOW);
    return layer.Window(handle);
}

BOOL DestroyWindow(HWND handle) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return FALSE;
    velmo::device::gui::Destroy(window);
    return TRUE;
}

BOOL IsWindow(HWND handle) { return Layer::Get().Window(handle) != nullptr ? TRUE : FALSE; }

HWND GetParent(HWND handle) {
    HWND__* window = Layer::Get().Window(handle);
    return window != nullptr ? window->parent : nullptr;
}

LRESULT DefWindowProcW(HWND handle, UINT message, WPARAM, LPARAM) {
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        if (BeginPaint(handle, &ps) != nullptr) EndPaint(handle, &ps);
    }
    return 0;
}

LRESULT SendMessageW(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return 0;
    return window->windowClass->proc(handle, message, wParam, lParam);
}

BOOL ShowWindow(HWND handle, int command) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return FALSE;
    bool wasVisible = window->visible;
    bool show = command != SW_HIDE;
    if (show == wasVisible) return wasVisible ? TRUE : FALSE;
    if (!show) velmo::device::gui::ExposeInParent(window);
    window->visible = show;
    if (show) velmo::device::gui::Invalidate(window, velmo::device::gui::ClientRect(window), true);
    if (window->parent == nullptr) {
        if (show && window->native == nullptr) {
            window->native = std::make_unique<velmo::device::gui::NativeWindow>(handle);
            window->native->resize(window->geometry.size());
            window->native->setTitle(QString::fromStdU16String(window->text));
        }
        if (window->native != nullptr) window->native->setVisible(show);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND handle) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return FALSE;
    if (window->visible && !window->update.isEmpty()) {
        SendMessageW(handle, WM_PAINT, 0, 0);
        if (Layer::Get().Window(handle) != nullptr) {
            window->update = QRegion();
            window->erase = false;
        }
    }
    return TRUE;
}

BOOL MoveWindow(HWND handle, int x, int y, int width, int height, BOOL repaint) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr || width < 0 || height < 0) return FALSE;
    if (repaint) velmo::device::gui::ExposeInParent(window);
    window->geometry = QRect(x, y, width, height);
    if (window->parent == nullptr) {
        QImage backing(window->geometry.size(), QImage::Format_RGB32);
        backing.fill(Qt::white);
        window->backing = backing;
        if (window->native != nullptr) window->native->resize(window->geometry.size());
        velmo::device::gui::InvalidateTree(window);
    } else if (repaint) {
        velmo::device::gui::Invalidate(window, velmo::device::gui::ClientRect(window), true);
    }
    return TRUE;
}

BOOL InvalidateRect(HWND handle, const RECT* rect, BOOL erase) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr) return FALSE;
    QRect area = rect == nullptr ? velmo::device::gui::ClientRect(window)
                                 : QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
    velmo::device::gui::Invalidate(window, area, erase != FALSE);
    return TRUE;
}

BOOL GetClientRect(HWND handle, LPRECT rect) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr || rect == nullptr) return FALSE;
    *rect = RECT{0, 0, window->geometry.width(), window->geometry.height()};
    return TRUE;
}

LONG_PTR SetWindowLongPtrW(HWND handle, int index, LONG_PTR value) {
    HWND__* window = Layer::Get().Window(handle);
    if (window == nullptr || index != GWLP_USERDATA) return 0;
    LONG_PTR previous = window->userData;
    window->userData = value;
    return previous;
}

LONG_PTR GetWindowLongPtrW(HWND handle, int index) {
    HWND__* window = Layer::Get().Window(handle);
    return window != nullptr && index == GWLP_USERDATA ? window->userData : 0;
}

}  // extern "C"
