#pragma once
// The main screen (dialog 129): the state selector at the top, the contact list below it,
// the hidden quick-find box at the bottom, and the "View" and "Options" menus. It is the
// hub of the program: every setting it shows is read from and written to the settings
// at once, and every contact's action to ContactsInfo.dat.

#include <functional>
#include <memory>

#include "app/core/ContactList.h"
#include "app/core/Platform.h"
#include "app/ui/HandheldDialog.h"
#include "app/ui/ImageList.h"

namespace velmo {

class NotifyEdit;
class OwnerDataListView;
class SoftKeyBar;
class StateSelectorCtrl;

class ContactListDialog : public HandheldDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 129;
    static constexpr int IDC_QUICKFIND = 1000;
    static constexpr int IDC_CONTACTS = 1001;
    static constexpr int IDC_STATE_SELECTOR = 1002;
    static constexpr int kQuickFindTimer = 1;
    static constexpr int kQuickFindFirstKeyMs = 6000;
    static constexpr int kQuickFindIdleMs = 4000;
    static constexpr int kRowHeight = 20;
    // The result of a dialog ended by a close command rather than as a window.
    static constexpr int kClosedByCommand = 273;

    using AddressBookOpener = std::function<std::unique_ptr<ContactSource>()>;

    ContactListDialog(SettingsStore& settings, ContactStateFile& contactStates, AddressBookOpener openAddressBook,
                      Platform platform = kBuildPlatform);
    ~ContactListDialog() override;

    OwnerDataListView* List() const { return list_; }
    StateSelectorCtrl* Selector() const { return selector_; }
    NotifyEdit* QuickFindBox() const { return quickFind_; }
    bool QuickFindOpen() const { return quickFindOpen_; }
    const ContactList* Contacts() const { return contacts_.get(); }

protected:
    bool OnInitDialog() override;
    std::intptr_t OnCommand(int id, int code) override;
    bool OnDrawItem(const DrawItemInfo& info) override;
    std::intptr_t OnNotify(const ListNotification& notification) override;
    void OnTimer(int timerId) override;
    void OnLayout() override;
    void OnClose() override { Shutdown(kClosedByWindow); }
    void OnBroughtForward() override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Shutdown(int result);
    void LoadList();
    void SetProgramState(std::int16_t state);
    void SetItemsMode(std::int16_t mode);
    void RefreshCheckMarks();
    void ShowStoredState();
    void AfterOptions();
    void AfterImport();
    void RepaintAfterDialog();
    void DrawContactRow(const DrawItemInfo& info);
    void DrawStateSelector(const DrawItemInfo& info);
    void ChangeRowAction(int row);
    void OpenQuickFind(const QKeyEvent* key);
    std::intptr_t OnQuickFindNotify(int code);
    void CloseQuickFind();

    SettingsStore& settings_;
    ContactStateFile& contactStates_;
    AddressBookOpener openAddressBook_;
    Platform platform_;
    StateSelectorCtrl* selector_ = nullptr;
    OwnerDataListView* list_ = nullptr;
    NotifyEdit* quickFind_ = nullptr;
    SoftKeyBar* menuBar_ = nullptr;
    ImageList listIcons_;
    ImageList stateIcons_;
    std::unique_ptr<ContactSource> addressBook_;
    std::unique_ptr<ContactList> contacts_;
    bool quickFindOpen_ = false;
    bool watchingExposure_ = false;
};

}  // namespace velmo
