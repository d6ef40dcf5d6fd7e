// Widget tests need an application object; the program's start-up settings
// (font mapping) apply, and animations take no time.
#include "platform/animation.h"
#include "platform/fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Listing the tests happens without the test's environment: no display is
    // needed for that either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velmora::platform::InstallFontSubstitutes();
    velmora::platform::SetAnimationDuration(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
