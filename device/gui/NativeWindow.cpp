// The Qt window that shows a top-level window's pixels and turns a person's input
// into the window messages the handheld would send.

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include "device/gui/Layer.h"
#include "device/gui/WindowLayer.h"

namespace velmo::device::gui {

namespace {

// The handheld's navigation pad and action key, from a desktop keyboard.
WPARAM VirtualKey(int key) {
    switch (key) {
        case Qt::Key_Up: return VK_UP;
        case Qt::Key_Down: return VK_DOWN;
        case Qt::Key_Left: return VK_LEFT;
        case Qt::Key_Right: return VK_RIGHT;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Select: return VK_RETURN;
        default: return 0;
    }
}

}  // namespace

void NativeWindow::paintEvent(QPaintEvent*) {
    HWND__* window = Layer::Get().Window(handle_);
    if (window == nullptr) return;
    PaintPending(window);
    if (Layer::Get().Window(handle_) == nullptr) return;
    QPainter painter(this);
    painter.drawImage(0, 0, window->backing);
}

void NativeWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (HWND__* window = Layer::Get().Window(handle_)) RouteButton(window, event->position().toPoint(), WM_LBUTTONDOWN);
}

void NativeWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (HWND__* window = Layer::Get().Window(handle_)) RouteButton(window, event->position().toPoint(), WM_LBUTTONUP);
}

void NativeWindow::keyPressEvent(QKeyEvent* event) {
    WPARAM key = VirtualKey(event->key());
    if (key == 0) {
        QRasterWindow::keyPressEvent(event);
        return;
    }
    SendMessageW(handle_, WM_KEYDOWN, key, 0);
}

// A window resized by a person or the window manager takes the new size itself and
// paints all of it anew, rather than showing its old pixels in a larger frame.
void NativeWindow::resizeEvent(QResizeEvent* event) {
    HWND__* window = Layer::Get().Window(handle_);
    QSize size = event->size();
    if (window == nullptr || size == window->geometry.size()) return;
    MoveWindow(handle_, window->geometry.x(), window->geometry.y(), size.width(), size.height(), TRUE);
    SendMessageW(handle_, WM_SIZE, 0, MAKELPARAM(static_cast<WORD>(size.width()), static_cast<WORD>(size.height())));
}

void ScheduleShow(HWND__* topLevel) {
    if (topLevel->native != nullptr) topLevel->native->update();
}

QWindow* QtWindowOf(HWND handle) {
    HWND__* window = Layer::Get().Window(handle);
    return window != nullptr ? window->native.get() : nullptr;
}

}  // namespace velmo::device::gui
