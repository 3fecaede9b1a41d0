#pragma once
// Helpers for driving the real widgets: message boxes answered as they appear, taps on
// list rows, pictures of widgets.

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "support/ScreenshotDir.h"

namespace velmo::test {

// Runs action and closes the first message box it shows with the box's first button;
// the box's text, or empty when none appeared.
inline QString CloseMessageBoxDuring(const std::function<void()>& action) {
    QString text;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !text.isEmpty()) return;
        text = box->text();
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

// Saves a picture of the widget in the screenshots folder.
inline void SaveScreenshot(QWidget& widget, const std::string& name) {
    widget.grab().save(QString::fromStdString((ScreenshotDir() / (name + ".png")).string()));
}

// Saves a picture of the screen with an open popup (a menu, a list) drawn where it shows:
// the popup is a window of its own, which a picture of the screen alone leaves out.
inline void SaveScreenshotWithPopup(QWidget& screen, QWidget& popup, const std::string& name) {
    QImage picture = screen.grab().toImage();
    QPainter painter(&picture);
    painter.drawPixmap(screen.mapFromGlobal(popup.mapToGlobal(QPoint(0, 0))), popup.grab());
    painter.end();
    picture.save(QString::fromStdString((ScreenshotDir() / (name + ".png")).string()));
}

}  // namespace velmo::test
