#include "helpers.h"

#include "app/velmora_m.h"
#include "controls/command.h"
#include "dialogs/filelist.h"
#include "dialogs/velmora_s.h"
#include "dialogs/velmora_v.h"
#include "gui/surface.h"
#include "settings/settings.h"

#include <QScrollBar>
#include <QTest>

namespace velmora {
namespace {

class MainWindowDialogsTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        Ini_Write(kSection, kKeyGetPath, dir.path(), settingsFile());
    }
    // The real dialogs, and the test's settings file.
    MainWindowHooks hooks() const {
        MainWindowHooks h;
        h.settingsFile = settingsFile();
        return h;
    }
};

TEST_F(MainWindowDialogsTest, openShowsTheFileChosenInTheImageDialog) {
    writeImage(QStringLiteral("photo.jpg"), 640, 480, QColor(200, 100, 50));
    velmora_m window(hooks());
    window.show();
    bool driven = false;
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_NE(dialog, nullptr);
        driven = true;
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("photo.jpg")));
        ClickButton(dialog->Cmd_Sel());
    });
    window.m_open_Click();
    EXPECT_TRUE(driven);
    EXPECT_EQ(window.session().file, path(QStringLiteral("photo.jpg")));
    EXPECT_TRUE(window.Display()->isVisible());
    EXPECT_EQ(window.Display()->contentSize(), QSize(640, 480));
    EXPECT_EQ(window.Master().size(), QSize(640, 480));
    // JPEG colours come back close to what was written.
    const QColor shown = QColor::fromRgb(window.Display()->picture().pixel(320, 240));
    EXPECT_NEAR(shown.red(), 200, 6);
    EXPECT_NEAR(shown.green(), 100, 6);
    EXPECT_NEAR(shown.blue(), 50, 6);
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, settingsFile()), dir.path());
}

TEST_F(MainWindowDialogsTest, openCancelledAfterAPreviewKeepsThePictureShown) {
    writeImage(QStringLiteral("first.bmp"), 30, 20);
    writeImage(QStringLiteral("second.bmp"), 50, 40);
    velmora_m window(hooks());
    window.show();
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("first.bmp")));
        ClickButton(dialog->Cmd_Sel());
    });
    window.m_open_Click();
    ASSERT_EQ(window.Display()->size(), QSize(30, 20));
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_v*>(modal);
        ASSERT_TRUE(ClickItem(dialog->File1(), QStringLiteral("second.bmp")));
        ClickButton(dialog->Cmd_Can());
    });
    window.m_open_Click();
    EXPECT_EQ(window.session().file, path(QStringLiteral("first.bmp")));
    // The folder is remembered however the dialog closed.
    EXPECT_EQ(Ini_Read(kSection, kKeyGetPath, settingsFile()), dir.path());
    EXPECT_EQ(window.Display()->size(), QSize(30, 20));
    EXPECT_EQ(window.Master().size(), QSize(30, 20));
}

TEST_F(MainWindowDialogsTest, ratioCancelKeepsTheTitleAndSetChangesIt) {
    velmora_m window(hooks());
    window.show();
    const QString before = window.windowTitle();
    ASSERT_EQ(before, velmora_m::titleText(12));
    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_s*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->VS_Ritu()->setValue(45);
        ClickButton(dialog->Cmd_Can());
    });
    window.m_ritu_Click();
    EXPECT_EQ(window.windowTitle(), before);
    EXPECT_EQ(window.session().scale, 12);

    WhenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<velmora_s*>(modal);
        dialog->VS_Ritu()->setValue(45);
        ClickButton(dialog->Cmd_Set());
    });
    window.m_ritu_Click();
    EXPECT_EQ(window.windowTitle(), velmora_m::titleText(45));
    EXPECT_EQ(Ini_Read(kSection, kKeyScale, settingsFile()), QStringLiteral("45"));
}

} // namespace
} // namespace velmora
