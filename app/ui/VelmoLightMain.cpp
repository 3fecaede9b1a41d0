#include "app/ui/VelmoLightMain.h"

#include <cstdio>
#include <memory>
#include <string>

#include <QApplication>

#include "app/core/PoomContactSource.h"
#include "app/resources/AppIcon.h"
#include "app/resources/StringTable.h"
#include "app/ui/BoldFont.h"
#include "app/ui/ContactListDialog.h"
#include "app/ui/DialogFont.h"
#include "app/ui/ImageList.h"
#include "app/ui/StateSelectorCtrl.h"
#include "app/ui/WeekDayCtrl.h"
#include "app/ui/WindowPresence.h"
#include "device/DeviceRoot.h"
#include "device/gui/NoDisplay.h"

namespace velmo {

namespace {

// "AppPath" names the directory of the running program, with its trailing separator.
void RecordAppPath(SettingsStore& settings) {
    std::u16string path = (QCoreApplication::applicationDirPath() + QLatin1Char('/')).toStdU16String();
    // A path that the readers' 260-unit buffers cannot hold is not recorded at all.
    if (path.size() < ContactStateFile::kPathUnits) settings.SetAppPath(path.c_str());
}

}  // namespace

int VelmoLightMain(int argc, char** argv) {
    // Both refusals are one line and exit status 2, before Qt would abort or the settings be read.
    constexpr char kProgram[] = "VelmoLight.exe";
    try {
        device::DeviceRoot();
    } catch (const device::NoDeviceRoot& e) {
        std::fprintf(stderr, "%s: %s\n", kProgram, e.what());
        return 2;
    }
    const std::string noDisplay = device::gui::NoDisplayText("VelmoLight");
    if (device::gui::NoDisplayForPlatform()) {
        std::fprintf(stderr, "%s: %s\n", kProgram, noDisplay.c_str());
        return 2;
    }
    auto platformFailure = std::make_unique<device::gui::PlatformFailureExit>(kProgram, noDisplay);
    QApplication application(argc, argv);
    platformFailure.reset();
    const QString caption = QString::fromStdU16String(std::u16string(LoadStringResource(IDS_CAPTION)));
    SettingsStore settings;
    if (auto running = ForeignWindow::Find(caption)) {
        running->SetForeground();
        return 0;
    }
    RecordAppPath(settings);
    Bitmap icon = AppIcon();
    application.setWindowIcon(QIcon(ImageList(icon, icon.width, kMaskColour).Image(0)));
    UseHandheldFace();
    CreateBoldFont();
    RegisterWeekDayCtrlClass();
    RegisterStateSelectorClass();
    {
        ContactStateFile contactStates;
        ContactListDialog dialog(settings, contactStates, [] { return std::make_unique<PoomContactSource>(); });
        dialog.DoModal();
    }
    UnregisterStateSelectorClass();
    UnregisterWeekDayCtrlClass();
    DeleteBoldFont();
    return 0;
}

}  // namespace velmo
