// File names as the system's bytes: every name makes the round trip, and one
// that is valid UTF-8 reads as Qt reads it.
#include "gui/filenames.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

using namespace velmora::gui;

// A four-byte character once lost its second half.
TEST(FileNames, makeTheRoundTripAndValidOnesReadAsQtReadsThem) {
    for (const QByteArray& bytes : {QByteArray("\xF0\x9F\x93\xB7\xE5\x86\x99.jpg"),
                                    QByteArray("caf\xE9\xF0\x9F\xFF\xC0\xAF\xED\xA0\x80.jpg")}) {
        const QString name = nameFromBytes(bytes);
        const bool valid = bytes.endsWith("\x99.jpg");
        EXPECT_EQ(nameToBytes(name), bytes);
        EXPECT_EQ(name == QString::fromUtf8(bytes), valid);
        EXPECT_EQ(nameForDisplay(name).count(QChar::ReplacementCharacter), valid ? 0 : 9);
    }
}
