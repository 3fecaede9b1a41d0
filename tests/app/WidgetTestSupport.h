#pragma once
// Helpers for driving the real widgets: message boxes answered as they appear, taps on
// list rows, pictures of widgets.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <vector>

#include "support/ScreenshotDir.h"

// Waits up to ms milliseconds, handling events, until condition holds; a failure when it
// never does. (QTest's QTRY_ macros only return when they time out: a GoogleTest passes.)
#define EXPECT_EVENTUALLY(condition, ms) \
    EXPECT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, ms)) << #condition
#define ASSERT_EVENTUALLY(condition, ms) \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(condition); }, ms)) << #condition

namespace velmo::test {

// Runs action and closes the first message box it shows with the box's first button;
// the box's text with its lines joined again, or empty when none appeared.
inline QString CloseMessageBoxDuring(const std::function<void()>& action) {
    QString text;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !text.isEmpty()) return;
        text = box->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
        box->buttons().first()->click();
    });
    poll.start();
    action();
    poll.stop();
    return text;
}

// Counts the pixels of area in image for which pick is true.
inline int CountPixels(const QImage& image, const QRect& area, const std::function<bool(QColor)>& pick) {
    int count = 0;
    QRect clipped = area.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (pick(image.pixelColor(x, y))) ++count;
        }
    }
    return count;
}

inline bool IsBlue(QColor c) { return c.blue() > 180 && c.red() < 90 && c.green() < 90; }
inline bool IsRed(QColor c) { return c.red() > 180 && c.green() < 90 && c.blue() < 90; }
inline bool IsGreen(QColor c) { return c.green() > 140 && c.red() < 90 && c.blue() < 90; }

// What the screen shows of widget: its window as last painted, which a fresh rendering
// (QWidget::grab) would not tell.
inline QImage OnScreen(QWidget& widget) {
    QWidget* window = widget.window();
    QImage shown = window->screen()->grabWindow(window->winId()).toImage();
    return shown.copy(QRect(widget.mapTo(window, QPoint(0, 0)), widget.size())).convertToFormat(QImage::Format_RGB32);
}

// A fresh rendering of widget, comparable with OnScreen.
inline QImage Rendered(QWidget& widget) { return widget.grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A picture of window with the popups and boxes that lie over it, as the screen shows them.
inline QImage WithPopups(QWidget& window, const std::vector<QWidget*>& popups) {
    QImage picture = window.grab().toImage();
    QPainter painter(&picture);
    for (QWidget* popup : popups) {
        painter.drawPixmap(popup->geometry().topLeft() - window.geometry().topLeft(), popup->grab());
    }
    return picture;
}

// What a person reads on label: its text as it is, or what the text draws where the label
// takes it for markup.
inline QString ReadOnScreen(const QLabel& label) {
    const Qt::TextFormat format = label.textFormat();
    if (format == Qt::PlainText || (format == Qt::AutoText && !Qt::mightBeRichText(label.text()))) return label.text();
    QTextDocument drawn;
    drawn.setHtml(label.text());
    return drawn.toPlainText();
}

// Saves a picture of the widget under the build's screenshots directory.
inline void SaveScreenshot(const QImage& picture, const std::string& name) {
    picture.save(QString::fromStdString((ScreenshotDir() / (name + ".png")).string()));
}
inline void SaveScreenshot(QWidget& widget, const std::string& name) { SaveScreenshot(widget.grab().toImage(), name); }

// Saves a picture of the screen with an open popup (a menu, a list) drawn where it shows:
// the popup is a window of its own, which a picture of the screen alone leaves out.
inline void SaveScreenshotWithPopup(QWidget& screen, QWidget& popup, const std::string& name) {
    QImage picture = screen.grab().toImage();
    QPainter painter(&picture);
    painter.drawPixmap(screen.mapFromGlobal(popup.mapToGlobal(QPoint(0, 0))), popup.grab());
    painter.end();
    SaveScreenshot(picture, name);
}

}  // namespace velmo::test
