#include "app/ui/HandheldDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ui/BoldFont.h"
#include "app/ui/ElidedText.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/WindowPresence.h"

namespace velmo {

namespace {

constexpr int kTitleBarHeight = 26;
constexpr char kControlIdProperty[] = "controlId";

}  // namespace

FocusReturn::FocusReturn(QWidget* owner) : window_(owner != nullptr ? owner->window() : QApplication::activeWindow()) {
    if (window_ != nullptr) focus_ = window_->focusWidget();
}

FocusReturn::~FocusReturn() {
    if (window_ == nullptr || !window_->isVisible()) return;
    window_->activateWindow();
    if (focus_ != nullptr && focus_->isVisible()) focus_->setFocus(Qt::ActiveWindowFocusReason);
}

HandheldDialog::HandheldDialog(QWidget* owner, const QString& caption) : QDialog(owner) {
    setWindowTitle(caption);
    resize(kScreenWidth, kScreenHeight);
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);

    titleBar_ = new QWidget(this);
    titleBar_->setObjectName(QStringLiteral("TitleBar"));
    titleBar_->setFixedHeight(kTitleBarHeight);
    titleBar_->setAttribute(Qt::WA_StyledBackground);
    titleBar_->setStyleSheet(QStringLiteral(
        "#TitleBar { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2c64b4, stop:1 #0c2c64); }"
        "#TitleBar QLabel { color: white; }"
        "#TitleBar QToolButton { color: white; background: #1c4c94; border: 1px solid white;"
        " border-radius: 9px; padding: 0 5px; }"
        "#TitleBar QToolButton:pressed { background: #3c8cdc; }"));
    auto* titleLayout = new QHBoxLayout(titleBar_);
    titleLayout->setContentsMargins(6, 2, 4, 2);
    captionLabel_ = new ElidedLabel(caption, titleBar_);
    captionLabel_->setTextFormat(Qt::PlainText);
    captionLabel_->setFont(BoldFont());
    titleLayout->addWidget(captionLabel_, 1);
    doneButton_ = new QToolButton(titleBar_);
    doneButton_->setText(QStringLiteral("ok"));
    doneButton_->setFont(BoldFont());
    doneButton_->setFocusPolicy(Qt::NoFocus);
    doneButton_->setFixedHeight(20);
    doneButton_->hide();
    connect(doneButton_, &QToolButton::clicked, this, [this] { SendCommand(IDOK, 0); });
    titleLayout->addWidget(doneButton_);
    layout_->addWidget(titleBar_);

    body_ = new QWidget(this);
    body_->setObjectName(QStringLiteral("Body"));
    body_->setAutoFillBackground(true);
    QPalette palette = body_->palette();
    palette.setColor(QPalette::Window, Qt::white);
    body_->setPalette(palette);
    body_->installEventFilter(this);
    layout_->addWidget(body_, 1);

    // The soft keys send F1 and F2; taken before any control sees them, whichever has the focus.
    for (int index : {0, 1}) {
        auto* softKey = new QShortcut(QKeySequence(index == 0 ? Qt::Key_F1 : Qt::Key_F2), this);
        connect(softKey, &QShortcut::activated, this, [this, index] { PressSoftKey(index); });
    }

    // A window exists, and can be found by its caption, from its creation on.
    presence_ = std::make_unique<WindowPresence>(this, caption);
    connect(presence_.get(), &WindowPresence::BroughtForward, this, [this] { OnBroughtForward(); });
}

HandheldDialog::~HandheldDialog() = default;

QString HandheldDialog::Caption() const { return captionLabel_->text(); }

void HandheldDialog::InitDialog() {
    if (initialised_) return;
    initialised_ = true;
    if (OnInitDialog() && !ended_) focusNextPrevChild(true);
    // The control that opens with the focus shows its focus frame, as it would after a Tab.
    if (!ended_) setAttribute(Qt::WA_KeyboardFocusChange);
}

int HandheldDialog::DoModal() {
    FocusReturn focusReturn(parentWidget());
    InitDialog();
    if (ended_) return result_;
    exec();
    return result_;
}

void HandheldDialog::Create() {
    InitDialog();
    if (!ended_) show();
}

void HandheldDialog::EndDialog(int result) {
    ended_ = true;
    result_ = result;
    done(result);
}

QWidget* HandheldDialog::DlgItem(int controlId) const {
    for (QWidget* child : body_->findChildren<QWidget*>()) {
        if (ControlId(child) == controlId) return child;
    }
    return nullptr;
}

void HandheldDialog::SetControlId(QWidget* control, int controlId) {
    control->setProperty(kControlIdProperty, controlId);
}

int HandheldDialog::ControlId(const QWidget* control) {
    QVariant id = control->property(kControlIdProperty);
    return id.isValid() ? id.toInt() : 0;
}

void HandheldDialog::ShowDoneButton(bool shown) { doneButton_->setVisible(shown); }

void HandheldDialog::SetMenuBar(SoftKeyBar* bar) {
    DestroyMenuBar();
    menuBar_ = bar;
    bar->setParent(this);
    layout_->addWidget(bar);
    connect(bar, &SoftKeyBar::Command, this, [this](int id) { SendCommand(id, 0); });
    bar->show();
}

void HandheldDialog::DestroyMenuBar() {
    if (menuBar_ == nullptr) return;
    // The bar's own key or menu entry is often what closes the dialog, and Qt goes on
    // using that menu after the command returns: the bar leaves the dialog now and is
    // deleted once the event that chose the command has been handled.
    SoftKeyBar* bar = menuBar_.data();
    menuBar_ = nullptr;
    layout_->removeWidget(bar);
    bar->hide();
    disconnect(bar, nullptr, this, nullptr);
    bar->deleteLater();
}

void HandheldDialog::PressSoftKey(int index) {
    if (menuBar_ == nullptr || index < 0 || index >= menuBar_->KeyCount()) return;
    menuBar_->Key(index)->click();
}

void HandheldDialog::BringToForeground() {
    show();
    raise();
    activateWindow();
    repaint();
}

void HandheldDialog::SetTimer(int timerId, int milliseconds) {
    KillTimer(timerId);
    timers_[timerId] = {startTimer(milliseconds), milliseconds};
}

void HandheldDialog::KillTimer(int timerId) {
    auto found = timers_.find(timerId);
    if (found == timers_.end()) return;
    killTimer(found->second.first);
    timers_.erase(found);
}

int HandheldDialog::TimerPeriod(int timerId) const {
    auto found = timers_.find(timerId);
    return found == timers_.end() ? 0 : found->second.second;
}

std::intptr_t HandheldDialog::SendCommand(int id, int code) { return OnCommand(id, code); }

void HandheldDialog::PostCommand(int id, int code) {
    QTimer::singleShot(0, this, [this, id, code] { SendCommand(id, code); });
}

std::intptr_t HandheldDialog::OnCommand(int id, int) {
    if (id == IDOK || id == IDCANCEL) {
        EndDialog(id);
        return TRUE;
    }
    return 0;
}

void HandheldDialog::closeEvent(QCloseEvent* event) {
    if (!ended_) OnClose();
    // The dialog decides in OnClose whether it ends; the window only closes with it.
    if (ended_)
        event->accept();
    else
        event->ignore();
}

void HandheldDialog::reject() { SendCommand(IDCANCEL, 0); }

void HandheldDialog::keyPressEvent(QKeyEvent* event) {
    // Arrow keys that no control took move the focus between controls, as in any dialog.
    switch (event->key()) {
        case Qt::Key_F1:
        case Qt::Key_F2:
            // The soft keys' codes, when they reach the dialog rather than its shortcuts.
            PressSoftKey(event->key() == Qt::Key_F1 ? 0 : 1);
            return;
        case Qt::Key_Up:
        case Qt::Key_Left: focusNextPrevChild(false); return;
        case Qt::Key_Down:
        case Qt::Key_Right: focusNextPrevChild(true); return;
        default: QDialog::keyPressEvent(event);
    }
}

void HandheldDialog::timerEvent(QTimerEvent* event) {
    for (const auto& [id, timer] : timers_) {
        if (timer.first == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

bool HandheldDialog::event(QEvent* event) {
    bool handled = QDialog::event(event);
    if (event->type() == QEvent::WindowActivate && !focusFramed_ && !ended_) {
        // A window system activates the window after it is shown, and the focus it then gives
        // draws no frame until a Tab; the control that opens with the focus shows its frame.
        focusFramed_ = true;
        window()->setAttribute(Qt::WA_KeyboardFocusChange);
        if (QWidget* focus = focusWidget()) focus->update();
    }
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::FontChange) OnLayout();
    return handled;
}

bool HandheldDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == body_ && event->type() == QEvent::Resize) OnLayout();
    return QDialog::eventFilter(watched, event);
}

}  // namespace velmo
