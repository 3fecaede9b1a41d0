#include "app/ui/AboutDialog.h"

#include <QLabel>

#include "app/resources/AppIcon.h"
#include "app/resources/MenuTable.h"
#include "app/resources/StringTable.h"
#include "app/ui/DialogUtilities.h"
#include "app/ui/ImageList.h"
#include "common/Version.h"

namespace velmo {

AboutDialog::AboutDialog(QWidget* owner)
    : MenuBarDialog(owner, QString::fromStdU16String(std::u16string(LoadStringResource(IDS_CAPTION))), IDM_DONE) {
    auto* product = new QLabel(QStringLiteral("Velmo Dirid ") + QString::fromLatin1(kVersion), Body());
    SetControlId(product, IDC_PRODUCT);
    product->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    product->setGeometry(DialogUnitsToPixels(17, 2, 120, 9));
    // An icon control takes the size of its icon.
    Bitmap bitmap = AppIcon();
    ImageList icon(bitmap, bitmap.width, kMaskColour);
    auto* picture = new QLabel(Body());
    SetControlId(picture, IDC_ICON);
    picture->setPixmap(icon.Image(0));
    picture->setGeometry(QRect(DialogUnitsToPixels(66, 19, 20, 20).topLeft(), icon.ImageSize()));
}

bool AboutDialog::OnInitDialog() {
    InitFullScreenDialog(*this, kFullScreenDialogFlags);
    CreateDialogMenuBar(*this, IDR_ABOUT_MENU);
    ApplyBoldFont(*this, IDC_PRODUCT);
    return true;
}

}  // namespace velmo
