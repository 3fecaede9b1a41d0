// The Messaging screen's tests share one application object with the handheld's face and bold font.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/ui/BoldFont.h"
#include "app/ui/DialogFont.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    velmo::UseHandheldFace();
    velmo::CreateBoldFont();
    int result = RUN_ALL_TESTS();
    velmo::DeleteBoldFont();
    return result;
}
