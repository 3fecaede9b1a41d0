#include "app/ui/WindowPresence.h"

#include <QApplication>
#include <QCryptographicHash>

#include "device/DeviceRoot.h"

namespace velmo {

namespace {

constexpr int kConnectMilliseconds = 1000;
constexpr char kForegroundRequest[] = "foreground\n";

bool SomeoneAnswers(const QString& name) {
    QLocalSocket probe;
    probe.connectToServer(name);
    return probe.waitForConnected(kConnectMilliseconds);
}

}  // namespace

QString PresenceName(const QString& caption) {
    // Hashed, so that any device path and caption make a short, valid socket name.
    QByteArray identity = QByteArray::fromStdString(device::DeviceRoot().string()) + '\0' + caption.toUtf8();
    return QStringLiteral("velmo-window-") +
           QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(24));
}

WindowPresence::WindowPresence(QWidget* window, const QString& caption) : window_(window) {
    QString name = PresenceName(caption);
    if (!server_.listen(name)) {
        // A socket left behind by a process that ended without closing is taken over.
        if (server_.serverError() != QAbstractSocket::AddressInUseError || SomeoneAnswers(name)) return;
        QLocalServer::removeServer(name);
        if (!server_.listen(name)) return;
    }
    connect(&server_, &QLocalServer::newConnection, this, &WindowPresence::OnConnection);
}

WindowPresence::~WindowPresence() { server_.close(); }

void WindowPresence::OnConnection() {
    while (QLocalSocket* client = server_.nextPendingConnection()) {
        connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QLocalSocket::readyRead, this, [this, client] {
            while (client->canReadLine()) {
                if (client->readLine() != kForegroundRequest || window_ == nullptr) continue;
                // The window that is in front in this process is the one to show; a
                // minimised one (or the screen under it) comes back first.
                QWidget* front = QApplication::activeModalWidget();
                if (front == nullptr) front = window_;
                for (QWidget* shown : {window_.data(), front}) {
                    shown->setWindowState(shown->windowState() & ~Qt::WindowMinimized);
                    shown->show();
                }
                front->raise();
                front->activateWindow();
                emit BroughtForward();
            }
        });
    }
}

std::unique_ptr<ForeignWindow> ForeignWindow::Find(const QString& caption) {
    auto window = std::unique_ptr<ForeignWindow>(new ForeignWindow);
    window->socket_.connectToServer(PresenceName(caption));
    if (!window->socket_.waitForConnected(kConnectMilliseconds)) return nullptr;
    return window;
}

bool ForeignWindow::SetForeground() {
    socket_.write(kForegroundRequest);
    bool written = socket_.waitForBytesWritten(kConnectMilliseconds) || socket_.bytesToWrite() == 0;
    socket_.disconnectFromServer();
    return written;
}

}  // namespace velmo
