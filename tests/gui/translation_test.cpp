// Qt's own words in the program's windows come from Qt's Japanese translation.
#include "gui/translation.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>
#include <gtest/gtest.h>

using namespace velmora;

// Qt's own buttons were English in a program whose every other word is Japanese.
TEST(QtTranslation, messageBoxButtonsSpeakJapanese) {
    QTranslator* japanese = gui::installQtTranslation();
    ASSERT_NE(japanese, nullptr) << "qtbase_ja is missing: install qt6-translations-l10n";
    QMessageBox box(QMessageBox::Warning, "Vantorel", "x",
                    QMessageBox::Retry | QMessageBox::Cancel);
    const QString retry = box.button(QMessageBox::Retry)->text();
    const QString cancel = box.button(QMessageBox::Cancel)->text();
    QCoreApplication::removeTranslator(japanese);
    delete japanese;
    EXPECT_EQ(retry, "再試行");
    EXPECT_EQ(cancel, "キャンセル");
}
