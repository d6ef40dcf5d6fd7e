#include "app/savecommand.h"

#include "gui/backgroundwork.h"
#include "gui/message.h"
#include "settings/settings.h"
#include "state/velmora_b.h"

#include <QDir>

namespace velmora {

namespace {

struct KindTexts {
    const char* description;
    const char* pattern;
    const char* extension;
};

constexpr KindTexts kJpegTexts = {"JPGﾌｧｲﾙ", "*.jpg", "jpg"};
constexpr KindTexts kBitmapTexts = {"BMPﾌｧｲﾙ", "*.bmp", "bmp"};

// The save's failure as the message box says it: a refusal in its own words,
// any other failure with its reason in brackets.
QString failureText(const QString& path, const SaveResult& result) {
    const QString native = QDir::toNativeSeparators(path);
    switch (result.status) {
    case SaveStatus::Saved:
        return QString();
    case SaveStatus::NoRoom:
    case SaveStatus::NotInFormat:
    case SaveStatus::BadDestination:
        return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n%2").arg(native, result.error);
    case SaveStatus::NotComputed:
        return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n(%2)")
            .arg(native, QStringLiteral("拡大できませんでした。"));
    case SaveStatus::Failed:
        break;
    }
    return QStringLiteral("ﾌｧｲﾙを保存できませんでした。\n%1\n(%2)").arg(native, result.error);
}

} // namespace

QString Get_Folder(const QString& path) {
    const qsizetype last = path.lastIndexOf(QLatin1Char('/'));
    if (last < 0)
        return QString();
    if (last == 0)
        return QStringLiteral("/");
    return path.left(last);
}

gui::SaveFileRequest Save_Request(QWidget* owner, SaveKind kind) {
    const KindTexts& texts = kind == SaveKind::Jpeg ? kJpegTexts : kBitmapTexts;
    gui::SaveFileRequest r;
    r.owner = owner;
    r.filterDescription = QString::fromUtf8(texts.description);
    r.filterPattern = QString::fromUtf8(texts.pattern);
    r.initialName = r.filterPattern;
    r.initialDir = Put_Dir;
    r.title = QStringLiteral("ﾌｧｲﾙ名を付けて保存");
    r.defaultExtension = QString::fromUtf8(texts.extension);
    r.overwritePrompt = true;
    return r;
}

void m_save_Click(QWidget* owner, const Recipe& recipe, SaveKind kind,
                  const gui::SaveFileDialog& dialog) {
    const gui::SaveFileRequest request = Save_Request(owner, kind);
    QString chosen;
    Api_Result = dialog && dialog(request, &chosen) ? 1 : 0;
    if (Api_Result <= 0)
        return;
    Put_Dir = Get_Folder(chosen);
    Ini_Write(kSection, kKeyPutPath, Put_Dir, Settings_File());
    // The file is written off the user-interface thread: the window keeps
    // painting, the busy pointer shows and user input waits until it is done.
    SaveResult result;
    QString error;
    if (!gui::RunOffUiThread([&] { result = Save_Recipe(recipe, chosen, kind); }, &error))
        result = {SaveStatus::Failed, error};
    if (result.status != SaveStatus::Saved)
        gui::ShowMessage(owner, failureText(chosen, result));
}

} // namespace velmora
