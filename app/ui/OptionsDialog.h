#pragma once
// "Options" (dialog 143): the default message action, the contact-name format, the
// age after which blocked messages go and what suspected spam from strangers gets. Only
// "OK" writes, and it writes every box that has an entry selected, the spam box only when
// its choice differs from the stored one (an absent "SpamAction" stays absent while off).

#include "app/ui/MenuBarDialog.h"

class QComboBox;

namespace velmo {

class SettingsStore;

class OptionsDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 143;
    static constexpr int IDC_DEFAULT_ACTION = 144;
    static constexpr int IDC_CONTACT_FORMAT = 145;
    static constexpr int IDC_DELETE_TIME = 146;
    static constexpr int IDC_SPAM_ACTION = 147;

    OptionsDialog(QWidget* owner, SettingsStore& settings);

    QComboBox* Box(int controlId) const;

protected:
    bool OnInitDialog() override;
    std::intptr_t OnMenuCommand(int id) override;

private:
    SettingsStore& settings_;
};

}  // namespace velmo
