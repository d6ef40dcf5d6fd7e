// The button tests need a QApplication (widgets, focus, timers); the test
// environment runs them on the offscreen platform.
#include <QApplication>
#include <QFont>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The offscreen platform unless told otherwise: test discovery runs this
    // program without the test's environment, and there may be no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
