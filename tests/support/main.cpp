// The main() of every Qt test program: one application object for the whole
// run, with the program's own start-up settings (the caption font mapped to an
// installed font) and dialog animations that take no time.
#include "gui/animation.h"
#include "gui/fonts.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise: listing the tests happens
    // without the test's environment, and there may be no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    velmora::gui::installFontSubstitutes();
    velmora::gui::setAnimationDuration(0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
