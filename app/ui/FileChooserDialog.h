#pragma once
// The handheld's "Export to" and "Import from": the whole screen, the folder and the file
// type on lines of their own, the folder's sub-folders and .json files in a list (the newest
// file first), a name field for an export, and "OK" and "Cancel" on the soft keys. A folder
// row opens that folder; ".." and Backspace go up one. OK ends the dialog with IDM_OK and a
// file chosen.

#include <QDateTime>
#include <QString>
#include <vector>

#include "app/ui/MenuBarDialog.h"

class QLabel;
class QLineEdit;

namespace velmo {

class OwnerDataListView;

class FileChooserDialog : public MenuBarDialog {
    Q_OBJECT
public:
    enum class Purpose { Export, Import };
    static constexpr int IDC_NAME = 1031;
    static constexpr int IDC_FOLDER = 1032;
    static constexpr int IDC_FILES = 1033;
    static constexpr int kRowHeight = 20;

    FileChooserDialog(QWidget* owner, Purpose purpose, const QString& folder);

    // The file chosen once the dialog ended with IDM_OK: for an export, the name with
    // ".json" added when it had no such ending.
    const QString& ChosenFile() const { return chosen_; }
    const QString& Folder() const { return folder_; }
    QLineEdit* Name() const { return name_; }
    OwnerDataListView* List() const { return list_; }
    // The row's text as the list shows it.
    QString RowText(int row) const;

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;
    bool OnDrawItem(const DrawItemInfo& info) override;
    std::intptr_t OnNotify(const ListNotification& notification) override;
    void OnLayout() override;

private:
    struct Entry {
        QString name;
        bool folder = false;
        QDateTime modified;
    };

    // Shows the folder with the row of that name chosen, else its first file, else its first row.
    void ShowFolder(const QString& folder, const QString& chosen = {});
    void OpenRow(int row);
    void Accept();
    // Ends the dialog with path, once an export has been allowed to replace a file there.
    void Choose(const QString& path);

    Purpose purpose_;
    QString folder_;
    QString chosen_;
    std::vector<Entry> entries_;
    QLabel* nameLabel_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLabel* folderLabel_ = nullptr;
    QLabel* folderText_ = nullptr;
    QLabel* typeLabel_ = nullptr;
    QLabel* typeText_ = nullptr;
    OwnerDataListView* list_ = nullptr;
};

}  // namespace velmo
