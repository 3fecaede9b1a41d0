// The widget tests share one application object, as the program does, with the
// program's face, bold font and window classes in place.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"
#include "app/ui/StateSelectorCtrl.h"
#include "app/ui/WeekDayCtrl.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    velmo::UseHandheldFace();
    velmo::CreateBoldFont();
    velmo::RegisterWeekDayCtrlClass();
    velmo::RegisterStateSelectorClass();
    int result = RUN_ALL_TESTS();
    velmo::UnregisterStateSelectorClass();
    velmo::UnregisterWeekDayCtrlClass();
    velmo::DeleteBoldFont();
    return result;
}
