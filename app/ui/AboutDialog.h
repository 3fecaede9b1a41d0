#pragma once
// The about box (dialog 131): the product's name and version above its icon.

#include "app/ui/MenuBarDialog.h"

namespace velmo {

class AboutDialog : public MenuBarDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 131;
    static constexpr int IDC_PRODUCT = 132;
    static constexpr int IDC_ICON = -1;

    explicit AboutDialog(QWidget* owner);

protected:
    bool OnInitDialog() override;
};

}  // namespace velmo
