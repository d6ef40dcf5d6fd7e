#include "save/save.h"

#include "platform/backgroundwork.h"
#include "platform/bitmap.h"
#include "platform/diskspace.h"
#include "platform/message.h"
#include "save/jpeglibrary.h"
#include "settings/settings.h"
#include "state/velmora_b.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QMessageBox>
#include <QTemporaryFile>

namespace velmora {

namespace {

struct SaveKind {
    const char* description;
    const char* pattern;
    const char* extension;
};

const SaveKind kKinds[2] = {
    {"JPGﾌｧｲﾙ", "*.jpg", "jpg"},
    {"BMPﾌｧｲﾙ", "*.bmp", "bmp"},
};

// Room asked for a JPEG: a quality-100 JPEG of an enlarged picture is well
// under half the bitmap's size.
constexpr long long kJpegShareOfBitmap = 2;
constexpr long long kMiB = 1LL << 20;

} // namespace

QString Get_Folder(const QString& path) {
    const qsizetype last = path.lastIndexOf(QLatin1Char('/'));
    if (last < 0)
        return QString();
    if (last == 0)
        return QStringLiteral("/");
    return path.left(last);
}

platform::SaveFileRequest Save_Request(QWidget* owner, int index) {
    const SaveKind& kind = kKinds[index == 0 ? 0 : 1];
    platform::SaveFileRequest r;
    r.owner = owner;
    r.filterDescription = QString::fromUtf8(kind.description);
    r.filterPattern = QString::fromUtf8(kind.pattern);
    r.initialName = r.filterPattern;
    r.initialDir = Put_Dir;
    r.title = QStringLiteral("ﾌｧｲﾙ名を付けて保存");
    r.defaultExtension = QString::fromUtf8(kind.extension);
    r.overwritePrompt = true;
    return r;
}

namespace {

// Refuses a save that needs more room than the destination's disk has, while
// every file is still as it was.
bool hasRoom(const QString& folder, long long needed, QString* error) {
    const long long free = platform::FreeBytes(folder);
    if (free < 0 || free >= needed)
        return true;
    if (error)
        *error = QStringLiteral("保存先の空き容量が足りません (必要 %1 MB、空き %2 MB)。")
                     .arg((needed + kMiB - 1) / kMiB)
                     .arg(free / kMiB);
    return false;
}

SaveStatus statusOf(bool saved) {
    return saved ? SaveStatus::Saved : SaveStatus::Failed;
}

// A JPEG by way of a temporary bitmap, for a library without the in-memory
// conversion or a picture in another format. The bitmap is a hidden file with
// a unique name beside the destination: on the disk the JPEG goes to, whose
// room was checked, and not in the system's temporary folder, which is often
// held in memory and would double what the picture already takes. It is
// deleted whatever happens.
SaveStatus saveJpegThroughBitmap(const QImage& image, const QString& path, QString* error) {
    QTemporaryFile bitmap(QFileInfo(path).absolutePath() + QStringLiteral("/.velmora-XXXXXX.bmp"));
    if (!bitmap.open()) {
        if (error)
            *error = bitmap.errorString();
        return SaveStatus::Failed;
    }
    bitmap.close();
    if (!platform::WriteBitmap(image, bitmap.fileName(), error))
        return SaveStatus::Failed;
    return statusOf(ConvertBitmapToJpeg(bitmap.fileName(), path, error) == 0);
}

} // namespace

SaveStatus Save_Image(const QImage& image, const QString& path, int index, QString* error) {
    const QString folder = QFileInfo(path).absolutePath();
    const long long bitmapBytes = platform::BitmapFileBytes(image.width(), image.height());
    if (index != 0) {
        if (!hasRoom(folder, bitmapBytes, error))
            return SaveStatus::NoRoom;
        return statusOf(platform::WriteBitmap(image, path, error));
    }
    // The library compresses the picture's rows where they are in memory: no
    // copy, and nothing written but the JPEG.
    const bool inMemory = Converts_Picture_In_Memory(image);
    const long long jpegBytes = bitmapBytes / kJpegShareOfBitmap;
    if (!hasRoom(folder, inMemory ? jpegBytes : bitmapBytes + jpegBytes, error))
        return SaveStatus::NoRoom;
    if (inMemory)
        return statusOf(ConvertPictureToJpeg(image, path, error) == 0);
    return saveJpegThroughBitmap(image, path, error);
}

void m_save_Click(QWidget* owner, const QImage& picture, int index,
                  const platform::SaveFileDialog& dialog) {
    const platform::SaveFileRequest request = Save_Request(owner, index);
    QString chosen;
    Api_Result = dialog && dialog(request, &chosen) ? 1 : 0;
    if (Api_Result <= 0)
        return;
    Put_Dir = Get_Folder(chosen);
    Ini_Write(kSection, kKeyPutPath, Put_Dir, Settings_File());
    // The file is written off the user-interface thread: the window keeps
    // painting, the busy pointer shows and user input waits until it is done.
    QString error;
    SaveStatus status = SaveStatus::Failed;
    if (!platform::RunOffUiThread([&] { status = Save_Image(picture, chosen, index, &error); },
                                  &error))
        status = SaveStatus::Failed;
    if (status == SaveStatus::NoRoom) {
        platform::ShowMessage(owner, QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n%2")
                                         .arg(QDir::toNativeSeparators(chosen), error));
    } else if (status == SaveStatus::Failed) {
        platform::ShowMessage(owner, QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n(%2)")
                                         .arg(QDir::toNativeSeparators(chosen), error));
    }
}

} // namespace velmora
