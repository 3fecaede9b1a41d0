#include "app/ui/DialogUtilities.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPainter>
#include <QStringList>
#include <algorithm>

#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/SoftKeyBar.h"
#include "app/ui/WindowConstants.h"

namespace velmo {

namespace {

// The dialog font's average character width and height in pixels, which one
// horizontal dialog unit divides by 4 and one vertical unit by 8.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int kMessageTitleHeight = 20;

QString TableString(unsigned id, std::size_t maxLength) {
    std::u16string_view text = LoadStringResource(id);
    return QString::fromStdU16String(std::u16string(text.substr(0, std::min(text.size(), maxLength))));
}

// A word wider than width, such as a file's path, in pieces that fit: each broken after
// its last '/' that fits, else after its last character that fits.
QStringList BreakLongWord(const QString& word, const QFontMetrics& metrics, int width) {
    QStringList pieces;
    QString rest = word;
    while (rest.size() > 1 && metrics.horizontalAdvance(rest) > width) {
        qsizetype fits = 1;
        while (fits < rest.size() && metrics.horizontalAdvance(rest.left(fits + 1)) <= width) ++fits;
        const qsizetype slash = rest.left(fits).lastIndexOf(QLatin1Char('/'));
        const qsizetype cut = slash > 0 ? slash + 1 : fits;
        pieces.append(rest.left(cut));
        rest = rest.mid(cut);
    }
    pieces.append(rest);
    return pieces;
}

// The text with its lines broken between words, none wider than width: no line break
// inside a word, so "->" stays whole, unless the word alone is wider than a line.
QString WrapBetweenWords(const QString& text, const QFontMetrics& metrics, int width) {
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        for (QString word : paragraph.split(QLatin1Char(' '))) {
            QStringList pieces = BreakLongWord(word, metrics, width);
            if (pieces.size() > 1) {
                // A word too long for a line starts one of its own and fills each line it needs.
                if (!line.isEmpty()) lines.append(line);
                word = pieces.takeLast();
                lines.append(pieces);
                line.clear();
            }
            QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && metrics.horizontalAdvance(longer) > width) {
                lines.append(line);
                line = word;
            } else {
                line = longer;
            }
        }
        lines.append(line);
    }
    return lines.join(QLatin1Char('\n'));
}

// A message box is no wider than the screen it comes up on: buttons too wide to stand side
// by side share the width, and the text is broken between words to what the screen leaves
// beside the icon.
void FitToScreenWidth(QMessageBox& box, QWidget* owner, const QString& text) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr || box.layout() == nullptr) return;
    int screenWidth = owner != nullptr ? owner->window()->width() : kScreenWidth;
    box.ensurePolished();
    const QMargins margins = box.layout()->contentsMargins();
    if (auto* buttons = box.findChild<QDialogButtonBox*>(); buttons != nullptr && !buttons->buttons().isEmpty()) {
        const auto count = static_cast<int>(buttons->buttons().size());
        const int spacing = buttons->layout() != nullptr ? std::max(0, buttons->layout()->spacing()) : 0;
        const int share = (screenWidth - margins.left() - margins.right() - spacing * (count - 1)) / count;
        for (QAbstractButton* button : buttons->buttons()) {
            const int least = button->fontMetrics().horizontalAdvance(button->text()) + 2 * kBaseUnitX;
            if (button->sizeHint().width() > share) button->setFixedWidth(std::max(share, least));
        }
    }
    box.layout()->activate();
    box.layout()->setGeometry(QRect(QPoint(0, 0), box.layout()->sizeHint()));
    int lineWidth = screenWidth - label->x() - margins.right();
    // The label's own margins and the layout's rounding can still leave it a few pixels too wide.
    for (int attempt = 0; attempt < 4 && lineWidth > 0; ++attempt) {
        box.setText(WrapBetweenWords(text, QFontMetrics(label->font()), lineWidth));
        box.layout()->activate();
        const int excess = box.layout()->totalMinimumSize().width() - screenWidth;
        if (excess <= 0) break;
        lineWidth -= excess;
    }
}

}  // namespace

bool InitFullScreenDialog(HandheldDialog& dialog, unsigned flags) {
    dialog.ShowDoneButton((flags & SHIDIF_DONEBUTTON) != 0);
    if (flags & SHIDIF_SIZEDLGFULLSCREEN) {
        // The screen follows whichever window is in front, so a resized screen stays resized.
        QWidget* screen = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
        if (screen == nullptr) screen = QApplication::activeModalWidget();
        if (screen == nullptr) screen = QApplication::activeWindow();
        if (screen != nullptr && screen != &dialog) {
            dialog.setGeometry(screen->geometry());
        } else {
            dialog.resize(kScreenWidth, kScreenHeight);
        }
    }
    return true;
}

SoftKeyBar* CreateDialogMenuBar(HandheldDialog& dialog, unsigned menuId) {
    const MenuResource* menu = FindMenuResource(menuId);
    if (menu == nullptr) return nullptr;
    auto* bar = new SoftKeyBar(*menu, &dialog);
    dialog.SetMenuBar(bar);
    return bar;
}

int ShowStringMessage(QWidget* owner, unsigned textId, unsigned captionId, unsigned flags) {
    return ShowMessage(owner, TableString(textId, 511), TableString(captionId, 255), flags);
}

HandheldMessageBox::HandheldMessageBox(QWidget* owner, Icon icon, const QString& caption, const QString& text,
                                       StandardButtons buttons)
    : QMessageBox(icon, caption, text, buttons, owner), owner_(owner) {
    // Its texts carry file names, patterns and numbers as typed or received: never markup.
    setTextFormat(Qt::PlainText);
    auto* title = new QLabel(caption, this);
    title->setTextFormat(Qt::PlainText);
    titleBar_ = title;
    titleBar_->setObjectName(QStringLiteral("MessageTitle"));
    titleBar_->setFont(BoldFont());
    titleBar_->setStyleSheet(
        QStringLiteral("#MessageTitle { color: white; padding-left: 4px;"
                       " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2c64b4, stop:1 #0c2c64); }"));
}

int HandheldMessageBox::Run() {
    if (layout() != nullptr) {
        QMargins margins = layout()->contentsMargins();
        margins.setTop(margins.top() + kMessageTitleHeight);
        layout()->setContentsMargins(margins);
    }
    FitToScreenWidth(*this, owner_, text());
    FocusReturn focusReturn(owner_);
    return exec();
}

void HandheldMessageBox::showEvent(QShowEvent* event) {
    // The box takes its final size here and is centred on its owner, then kept wholly inside
    // its screen, even where the desktop around the program is larger than the program's screen.
    QMessageBox::showEvent(event);
    titleBar_->setGeometry(0, 0, width(), kMessageTitleHeight);
    titleBar_->raise();
    if (parentWidget() == nullptr) return;
    QRect screen = parentWidget()->window()->geometry();
    QRect frame = frameGeometry();
    int left = std::clamp(frame.left(), screen.left(), std::max(screen.left(), screen.right() + 1 - frame.width()));
    int top = std::clamp(frame.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - frame.height()));
    if (left != frame.left() || top != frame.top()) move(pos() + QPoint(left - frame.left(), top - frame.top()));
}

void HandheldMessageBox::resizeEvent(QResizeEvent* event) {
    QMessageBox::resizeEvent(event);
    titleBar_->setGeometry(0, 0, width(), kMessageTitleHeight);
}

void HandheldMessageBox::paintEvent(QPaintEvent* event) {
    QMessageBox::paintEvent(event);
    // Its own edge, as a window over the screen has one.
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 0));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

int ShowMessage(QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
        case MB_ICONQUESTION: icon = QMessageBox::Question; break;
        case MB_ICONEXCLAMATION: icon = QMessageBox::Warning; break;
        default: break;
    }
    bool question = (flags & 0x0F) == MB_YESNO;
    HandheldMessageBox box(owner, icon, caption, text, question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    const int answer = box.Run();
    if (question) return answer == QMessageBox::Yes ? IDYES : IDNO;
    return IDOK;
}

void ApplyBoldFont(HandheldDialog& dialog, int controlId) {
    if (QWidget* control = dialog.DlgItem(controlId)) control->setFont(BoldFont());
}

QRect DialogUnitsToPixels(int x, int y, int width, int height) {
    return QRect(x * kBaseUnitX / 4, y * kBaseUnitY / 8, width * kBaseUnitX / 4, height * kBaseUnitY / 8);
}

}  // namespace velmo
