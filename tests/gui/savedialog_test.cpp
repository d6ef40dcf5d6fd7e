// The program's save dialog: the type list shows the description alone, and a
// name with wildcards filters the files listed instead of being chosen.
#include "gui/savedialog.h"
#include "tests/support/support.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace velmora;

namespace {

class SaveDialog : public ::testing::Test {
  protected:
    // The request the main window makes for a JPEG or a bitmap file, in the
    // test's folder.
    gui::SaveFileRequest requestFor(bool jpeg) const {
        gui::SaveFileRequest r;
        r.filterDescription = jpeg ? QStringLiteral("JPGﾌｧｲﾙ") : QStringLiteral("BMPﾌｧｲﾙ");
        r.filterPattern = jpeg ? QStringLiteral("*.jpg") : QStringLiteral("*.bmp");
        r.initialName = r.filterPattern;
        r.initialDir = dir.path();
        r.title = QStringLiteral("ﾌｧｲﾙ名を付けて保存");
        r.defaultExtension = jpeg ? QStringLiteral("jpg") : QStringLiteral("bmp");
        r.overwritePrompt = true;
        return r;
    }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir dir;
};

} // namespace

// The type list once read "JPGﾌｧｲﾙ (*.jpg)"; it shows the description alone
// and still lists only the files of its kind.
TEST_F(SaveDialog, typeListShowsTheDescriptionAloneAndStillFilters) {
    ASSERT_TRUE(WriteTestFile(dir.filePath("photo.jpg"), "x"));
    ASSERT_TRUE(WriteTestFile(dir.filePath("image.bmp"), "x"));
    for (const bool jpeg : {true, false}) {
        const gui::SaveFileRequest request = requestFor(jpeg);
        QStringList seen; // the types offered, then the files listed
        WhenModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            auto* combo = dialog->findChild<QComboBox*>("fileTypeCombo");
            for (int i = 0; i < combo->count(); ++i)
                seen << combo->itemText(i);
            auto* model = dialog->findChild<QFileSystemModel*>();
            const QModelIndex folder = model->index(dir.path());
            // The model lists the folder on a thread of its own.
            EXPECT_TRUE(QTest::qWaitFor([&] { return model->rowCount(folder) > 0; }, 2000));
            // Where the filter greys refused files instead of leaving them out.
            for (int row = 0; row < model->rowCount(folder); ++row)
                if (model->flags(model->index(row, 0, folder)) & Qt::ItemIsEnabled)
                    seen << model->fileName(model->index(row, 0, folder));
            dialog->reject();
        });
        QString chosen;
        EXPECT_FALSE(gui::GetSaveFileName(request, &chosen));
        EXPECT_EQ(seen, (jpeg ? QStringList{"JPGﾌｧｲﾙ", "photo.jpg"}
                              : QStringList{"BMPﾌｧｲﾙ", "image.bmp"}));
    }
}

// Return on the name box's initial "*.jpg" once wrote a file literally named so.
TEST_F(SaveDialog, wildcardNamesFilterTheListAndOnlyAPlainNameIsChosen) {
    const gui::SaveFileRequest request = requestFor(true);
    // Typed into the name box before Return; "" is Return on the initial "*.jpg".
    const QStringList typed = {"", "*.bmp", "a?.*", "*.jpg; *.bmp", "picture"};
    QStringList filters; // the list's filters after each Return that left the dialog open
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible())
            return;
        poll.stop();
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        for (const QString& text : typed) {
            name->selectAll();
            QTest::keyClicks(name, text);
            QTest::keyClick(name, Qt::Key_Return);
            if (dialog->isVisible())
                filters << dialog->findChild<QFileSystemModel*>()->nameFilters().join(',');
        }
    });
    poll.start(10);
    QString chosen;
    EXPECT_TRUE(gui::GetSaveFileName(request, &chosen));
    EXPECT_EQ(filters, (QStringList{"*.jpg", "*.bmp", "a?.*", "*.jpg,*.bmp"}));
    EXPECT_EQ(chosen, dir.filePath("picture.jpg"));
    EXPECT_EQ(files(), QStringList{});
}
