#include "tools/messaging/ComposeView.h"

#include <QApplication>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStringList>

#include "app/core/ContactNameFormat.h"
#include "app/core/PoomContactSource.h"
#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/SoftKeyBar.h"
#include "common/ContactsConnection.h"
#include "common/SettingsStore.h"
#include "tools/messaging/MessagingMenus.h"
#include "tools/messaging/SmsLength.h"

namespace velmo::messaging {

namespace {

constexpr int kLineHeight = 20;

// The numbers an SMS can go to, the mobile one first.
constexpr ContactField kTextableFields[] = {
    ContactField::MobileTelephoneNumber, ContactField::HomeTelephoneNumber,      ContactField::BusinessTelephoneNumber,
    ContactField::Home2TelephoneNumber,  ContactField::Business2TelephoneNumber, ContactField::CarTelephoneNumber,
};

// A number as the modem takes it: its digits, with the '+' of an international one.
std::u16string DialString(std::u16string_view text) {
    std::u16string number;
    for (char16_t c : text) {
        if (c >= u'0' && c <= u'9') number += c;
        if (c == u'+' && number.empty()) number += c;
    }
    return number == u"+" ? std::u16string() : number;
}

QString Entry(const std::u16string& name, const std::u16string& number) {
    return QString::fromStdU16String(name) + QStringLiteral(" <") + QString::fromStdU16String(number) +
           QLatin1Char('>');
}

}  // namespace

QString LengthText(const std::u16string& text) {
    SmsLength length = MeasureSms(text);
    if (length.units == 0) return QStringLiteral("%1 characters left").arg(length.perMessage);
    // The room grows with the parts, each of which gives up some for the header that joins them.
    std::size_t room = length.parts == 1 ? length.perMessage : length.parts * length.perPart;
    return QStringLiteral("%1/%2 characters, %3 %4%5")
        .arg(length.units)
        .arg(room)
        .arg(length.parts)
        .arg(length.parts == 1 ? QStringLiteral("message") : QStringLiteral("messages"))
        .arg(length.unicode ? QStringLiteral(" (Unicode)") : QString());
}

ComposeView::ComposeView(QWidget* owner, const std::u16string& recipient, Sender sender)
    : MenuBarDialog(owner, QStringLiteral("Messaging"), kCommandCancel),
      sender_(std::move(sender)),
      initialRecipient_(recipient) {
    Body()->setFont(DialogFont());
    toLabel_ = new QLabel(QStringLiteral("To:"), Body());
    toLabel_->setFont(BoldFont());
    recipient_ = new QLineEdit(Body());
    text_ = new QPlainTextEdit(Body());
    text_->setTabChangesFocus(true);
    length_ = new QLabel(Body());
    length_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    connect(text_, &QPlainTextEdit::textChanged, this, [this] { ShowLength(); });
    // Enter in the recipient line goes on to the text, as the handheld's forms do.
    connect(recipient_, &QLineEdit::returnPressed, this, [this] { text_->setFocus(Qt::TabFocusReason); });
    CloseOnEscape();
}

bool ComposeView::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    SetMenuBar(new SoftKeyBar(ComposeMenu(), this));
    ContactsConnection connection;
    if (connection.Open()) {
        SettingsStore settings;
        std::int32_t format = settings.GetContactFormat();
        for (int index = 1; index <= connection.Count(); ++index) {
            IContact* contact = connection.Item(index);
            if (contact == nullptr) continue;
            std::unique_ptr<ContactItem> item = WrapContact(contact);
            for (ContactField field : kTextableFields) {
                std::u16string number = item->Field(field);
                if (DialString(number).empty()) continue;
                contacts_.emplace_back(FormatContactName(*item, format), number);
                break;
            }
        }
    }
    QStringList entries;
    for (const auto& [name, number] : contacts_) entries << Entry(name, number);
    auto* completer = new QCompleter(entries, recipient_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    recipient_->setCompleter(completer);
    recipient_->setText(QString::fromStdU16String(initialRecipient_));
    // A reply names its sender by the contact's name, as the list did.
    for (const auto& [name, number] : contacts_) {
        std::u16string digits = DialString(number);
        if (!initialRecipient_.empty() && DialString(initialRecipient_) == digits) {
            recipient_->setText(Entry(name, number));
            break;
        }
    }
    ShowLength();
    if (initialRecipient_.empty()) {
        recipient_->setFocus(Qt::OtherFocusReason);
    } else {
        text_->setFocus(Qt::OtherFocusReason);
    }
    return false;
}

std::u16string ComposeView::RecipientNumber() const {
    std::u16string typed = recipient_->text().trimmed().toStdU16String();
    std::size_t open = typed.rfind(u'<');
    std::size_t close = typed.rfind(u'>');
    if (open != std::u16string::npos && close != std::u16string::npos && close > open) {
        return DialString(std::u16string_view(typed).substr(open + 1, close - open - 1));
    }
    QString asTyped = QString::fromStdU16String(typed);
    for (const auto& [name, number] : contacts_) {
        if (QString::fromStdU16String(name).compare(asTyped, Qt::CaseInsensitive) == 0) return DialString(number);
    }
    // A name that is no contact is not a number, whatever digits it holds.
    for (char16_t c : typed) {
        bool dialable = (c >= u'0' && c <= u'9') || c == u'+' || c == u' ' || c == u'-' || c == u'(' || c == u')' ||
                        c == u'.' || c == u'/';
        if (!dialable) return {};
    }
    return DialString(typed);
}

void ComposeView::ShowLength() { length_->setText(LengthText(text_->toPlainText().toStdU16String())); }

std::intptr_t ComposeView::OnMenuCommand(int id) {
    if (id != kCommandSend) return FALSE;
    Send();
    return TRUE;
}

void ComposeView::Send() {
    std::u16string number = RecipientNumber();
    std::u16string text = text_->toPlainText().toStdU16String();
    QString problem;
    if (number.empty()) {
        problem = recipient_->text().trimmed().isEmpty()
                      ? QStringLiteral("Whom is the message to? Enter a number or a contact.")
                      : QStringLiteral("\"%1\" is neither a number nor a contact.").arg(recipient_->text().trimmed());
    } else if (text.empty()) {
        problem = QStringLiteral("The message has no text.");
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        Outcome outcome = sender_ ? sender_(number, text) : Outcome{false, "This device cannot send messages."};
        QApplication::restoreOverrideCursor();
        if (!outcome.problem.empty()) {
            ShowMessage(this, QString::fromStdString(outcome.problem), QStringLiteral("Messaging"),
                        MB_OK | MB_ICONEXCLAMATION);
        }
        if (outcome.stored) Close(kCommandSend);
        return;
    }
    ShowMessage(this, problem, QStringLiteral("Messaging"), MB_OK | MB_ICONEXCLAMATION);
}

void ComposeView::Close(int result) {
    // A text written is not thrown away by a slip of the key.
    if (result != kCommandSend && !text_->toPlainText().isEmpty() &&
        ShowMessage(this, QStringLiteral("Discard this message?"), QStringLiteral("Messaging"),
                    MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
    }
    MenuBarDialog::Close(result);
}

void ComposeView::OnLayout() {
    QRect client = Body()->rect();
    int labelWidth = QFontMetrics(BoldFont()).horizontalAdvance(toLabel_->text()) + 6;
    toLabel_->setGeometry(2, 2, labelWidth, kLineHeight);
    recipient_->setGeometry(2 + labelWidth, 2, client.width() - labelWidth - 4, kLineHeight);
    int lengthTop = client.bottom() + 1 - kLineHeight;
    length_->setGeometry(2, lengthTop, client.width() - 4, kLineHeight);
    int textTop = 4 + kLineHeight;
    text_->setGeometry(1, textTop, client.width() - 2, lengthTop - textTop);
}

}  // namespace velmo::messaging
