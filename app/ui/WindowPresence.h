#pragma once
// Captions of top-level windows, visible to every process of the same device: the shell's
// FindWindowW by caption and SetForegroundWindow of another process's window, over a
// local socket named from the device root and the caption.

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

namespace velmo {

// Publishes window's caption for as long as the object lives; a request from another
// process brings the window, or the modal dialog above it, to the front.
class WindowPresence : public QObject {
    Q_OBJECT
public:
    WindowPresence(QWidget* window, const QString& caption);
    ~WindowPresence() override;
    // False when another window of the device already bears the caption.
    bool Published() const { return server_.isListening(); }

signals:
    // The window was brought to the front at another process's request, which a window system
    // without a window manager may not follow with an activation.
    void BroughtForward();

private:
    void OnConnection();

    QPointer<QWidget> window_;
    QLocalServer server_;
};

// A window found by its caption in any process of the device.
class ForeignWindow {
public:
    // FindWindowW with no class: null when no window bears the caption.
    static std::unique_ptr<ForeignWindow> Find(const QString& caption);
    // SetForegroundWindow: asks the window's process to bring it to the front.
    bool SetForeground();

private:
    QLocalSocket socket_;
};

// The socket name under which the device publishes a caption.
QString PresenceName(const QString& caption);

}  // namespace velmo
