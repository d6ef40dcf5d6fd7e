#include "save/save.h"

#include "platform/bitmap.h"
#include "save/jpeglibrary.h"
#include "settings/settings.h"
#include "state/velmora_b.h"

#include <QDir>
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

bool Save_Image(const QImage& image, const QString& path, int index, QString* error) {
    if (index != 0)
        return platform::WriteBitmap(image, path, error);
    // The temporary bitmap gets a unique name in the system's temporary folder,
    // so no file of the user's is touched, and it is deleted whatever happens.
    QTemporaryFile bitmap(QDir::tempPath() + QStringLiteral("/velmora-XXXXXX.bmp"));
    if (!bitmap.open()) {
        if (error)
            *error = bitmap.errorString();
        return false;
    }
    bitmap.close();
    if (!platform::WriteBitmap(image, bitmap.fileName(), error))
        return false;
    return ConvertBitmapToJpeg(bitmap.fileName(), path, error) == 0;
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
    QString error;
    if (!Save_Image(picture, chosen, index, &error)) {
        QMessageBox::warning(owner, QStringLiteral("Vantorel"),
                             QStringLiteral("ファイルを保存できませんでした。\n%1\n(%2)")
                                 .arg(QDir::toNativeSeparators(chosen), error));
    }
}

} // namespace velmora
