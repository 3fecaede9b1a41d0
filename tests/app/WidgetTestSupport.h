#pragma once
// Helpers for driving the real widgets: message boxes answered as they appear, taps on
// list rows, pictures of widgets.

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>

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

// Saves a picture of the widget under the build's screenshots directory.
inline void SaveScreenshot(QWidget& widget, const std::string& name) {
    std::filesystem::create_directories(VELMO_SCREENSHOT_DIR);
    widget.grab().save(QString::fromStdString(std::string(VELMO_SCREENSHOT_DIR) + "/" + name + ".png"));
}

}  // namespace velmo::test
