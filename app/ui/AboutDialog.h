#pragma once
// The about box (dialog 131): the product's name and version above its icon.

#include "app/ui/HandheldDialog.h"

namespace velmo {

class AboutDialog : public HandheldDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 131;
    static constexpr int IDC_PRODUCT = 132;
    static constexpr int IDC_ICON = -1;

    explicit AboutDialog(QWidget* owner);

protected:
    bool OnInitDialog() override;
    std::intptr_t OnCommand(int id, int code) override;
    void OnClose() override { Close(kClosedByWindow); }

private:
    void Close(int result);
};

}  // namespace velmo
