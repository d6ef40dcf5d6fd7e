#include "tests/save/save_fixture.h"

#include "engine/enlarge.h"
#include "imageio/bitmapwriter.h"
#include "platform/diskspace.h"

#include <QDir>
#include <QFile>

namespace velmora {

QString libraryFolder(Library library) {
    switch (library) {
    case Library::Current:
        return QStringLiteral(VELMORA_TEST_BIN);
    case Library::Previous:
        return QStringLiteral(VELMORA_TEST_OLDER_LIBRARIES "/libvelmora_previous");
    case Library::First:
        return QStringLiteral(VELMORA_TEST_OLDER_LIBRARIES "/libvelmora_first");
    case Library::None:
        break;
    }
    return QStringLiteral(VELMORA_TEST_OLDER_LIBRARIES "/no-library-here");
}

QImage WholeResult(const QImage& source, double ratio) {
    if (ratio == 0)
        return source;
    const EnlargeGeometry g = enlargeGeometry(source.width(), source.height(), ratio);
    QImage result(g.width, g.height, QImage::Format_RGB32);
    const SourceImage view{reinterpret_cast<const std::uint32_t*>(source.constBits()),
                           source.width(), source.height(), source.bytesPerLine() / 4};
    EnlargeOptions options;
    options.blendedHigh = 0xFF000000u;
    options.bandColumns = 64;
    EXPECT_EQ(enlarge(view, ratio,
                      {reinterpret_cast<std::uint32_t*>(result.bits()), g.width, g.height,
                       result.bytesPerLine() / 4},
                      options),
              EnlargeStatus::Done);
    return result;
}

void Saving::SetUp() {
    SettingsFileTest::SetUp();
    useLibrary(Library::Current);
}

void Saving::TearDown() {
    platform::setFreeBytesForTest(-1);
    qunsetenv("VELMORA_THREADS");
    SettingsFileTest::TearDown();
}

QByteArray Saving::todaysFile(const QImage& whole, SaveKind kind) {
    const QString path = dir.filePath(QStringLiteral("today.out"));
    std::string error;
    const bool written = kind == SaveKind::Bitmap
                             ? imageio::writeBitmap(Pic(whole), Bytes(path), &error)
                             : WriteJpegOfPicture(whole, path);
    EXPECT_TRUE(written) << error;
    const QByteArray bytes = ReadTestFile(path);
    QFile::remove(path);
    return bytes;
}

QStringList Saving::files() const {
    return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace velmora
