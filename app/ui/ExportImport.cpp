#include "app/ui/ExportImport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <string>
#include <string_view>
#include <utility>

#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/FileChooserDialog.h"
#include "common/ContactsConnection.h"
#include "common/ExportDocument.h"
#include "common/ExportTransfer.h"
#include "common/SettingsStore.h"
#include "device/Files.h"

namespace velmo {

namespace {

QString TableText(unsigned id) { return QString::fromStdU16String(std::u16string(LoadStringResource(id))); }

void Tell(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
    HandheldMessageBox(owner, icon, TableText(IDS_CAPTION), text, QMessageBox::Ok).Run();
}

}  // namespace

QString ImportSaid(std::string said) {
    const std::pair<std::string_view, std::string_view> words[] = {
        {"; nothing was imported", ""},
        {": nothing was imported", ""},
        {"\"AppPath\", \"BlockedMsg\" and \"SilentMsg\" kept",
         "except the program's folder and the counts of blocked and silently accepted messages"},
        {"import with --replace", "import with Replace"},
        {"\"AppPath\"", "the program's folder"},
        {"\"BlockedMsg\"", "the count of blocked messages"},
        {"\"SilentMsg\"", "the count of silently accepted messages"},
    };
    for (const auto& [from, to] : words) {
        for (std::size_t at = said.find(from); at != std::string::npos; at = said.find(from, at + to.size())) {
            said.replace(at, from.size(), to);
        }
    }
    return QString::fromStdString(said).trimmed();
}

namespace {

// The folder of the last file chosen, where the next choice starts.
QString& LastFolder() {
    static QString folder = QDir::currentPath();
    return folder;
}

// The file the user picks, or an empty text when the dialog is cancelled.
QString ChooseFile(QWidget* owner, FileChooserDialog::Purpose purpose) {
    FileChooserDialog dialog(owner, purpose, LastFolder());
    if (dialog.DoModal() != IDM_OK) return {};
    LastFolder() = QFileInfo(dialog.ChosenFile()).absolutePath();
    return dialog.ChosenFile();
}

}  // namespace

void RunExport(QWidget* owner, SettingsStore& settings) {
    const QString file = ChooseFile(owner, FileChooserDialog::Purpose::Export);
    if (file.isEmpty()) return;
    ContactsConnection book;
    book.Open();
    ExportDocument document;
    std::string error;
    if (!GatherExport(settings, book, document, error)) {
        Tell(owner, QMessageBox::Warning,
             TableText(IDS_NOT_EXPORTED) + QStringLiteral("\n") + QString::fromStdString(error));
        return;
    }
    book.Close();
    const std::string text = SerializeExport(document);
    if (!device::ReplaceFileAtomically(file.toStdU16String(), text.data(), text.size())) {
        Tell(owner, QMessageBox::Warning, TableText(IDS_NOT_EXPORTED) + QStringLiteral("\n") + file);
        return;
    }
    Tell(owner, QMessageBox::Information, TableText(IDS_EXPORTED) + QStringLiteral("\n") + file);
}

bool RunImport(QWidget* owner, SettingsStore& settings) {
    const QString file = ChooseFile(owner, FileChooserDialog::Purpose::Import);
    if (file.isEmpty()) return false;
    ExportDocument document;
    std::string error;
    if (ReadExportFile(QFile::encodeName(file).toStdString(), document, error) != ExportFileRead::Read) {
        Tell(owner, QMessageBox::Warning, TableText(IDS_NOT_IMPORTED) + QStringLiteral("\n") + ImportSaid(error));
        return false;
    }
    HandheldMessageBox how(owner, QMessageBox::Question, TableText(IDS_CAPTION), TableText(IDS_IMPORT_HOW),
                           QMessageBox::Cancel);
    QPushButton* merge = how.addButton(TableText(IDS_IMPORT_MERGE), QMessageBox::AcceptRole);
    QPushButton* replace = how.addButton(TableText(IDS_IMPORT_REPLACE), QMessageBox::DestructiveRole);
    how.setDefaultButton(merge);
    how.Run();
    if (how.clickedButton() != merge && how.clickedButton() != replace) return false;
    ContactsConnection book;
    book.Open();
    const ImportReport report =
        ApplyImport(settings, book, document, how.clickedButton() == replace ? ImportMode::Replace : ImportMode::Merge);
    book.Close();
    const QString said = ImportSaid(DescribeImport(report));
    Tell(owner, report.imported ? QMessageBox::Information : QMessageBox::Warning,
         TableText(report.imported ? IDS_IMPORTED : IDS_NOT_IMPORTED) + QStringLiteral("\n") + said);
    // A failed write may still have changed some of it, which the screen must show.
    return report.changed;
}

}  // namespace velmo
