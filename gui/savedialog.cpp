#include "gui/savedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>

namespace velmora::gui {

namespace {

bool hasWildcard(const QString& text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

// Qt's own file dialog, except that a name with wildcards ("*.jpg", "a?.bmp",
// "*.jpg;*.bmp") is a filter, never a file name: accepting it writes nothing,
// shows the files that match and leaves the dialog open, as the desktop's file
// dialogs do. The name box starts with such a pattern, so a Return pressed at
// once would otherwise write a file literally named "*.jpg".
class SaveDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

    void accept() override {
        const QStringList chosen = selectedFiles();
        // Only what the user typed counts: the folder shown may have a "?" in its name.
        const QString typed =
            chosen.isEmpty() ? QString() : directory().relativeFilePath(chosen.constFirst());
        if (hasWildcard(typed)) {
            applyPattern(chosen.constFirst());
            return;
        }
        QFileDialog::accept();
    }

  private:
    void applyPattern(const QString& path) {
        const QFileInfo typed(path);
        // "../photos/*.jpg" moves to that folder as well.
        if (!hasWildcard(typed.path()) && QDir(typed.path()).exists())
            setDirectory(typed.path());
        QStringList patterns;
        for (const QString& p : typed.fileName().split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns << p.trimmed();
        // The filter list keeps its one entry; the typed pattern only narrows or
        // widens the files listed, until another filter entry is chosen.
        if (auto* model = findChild<QFileSystemModel*>())
            model->setNameFilters(patterns);
        selectFile(typed.fileName());
    }
};

} // namespace

bool GetSaveFileName(const SaveFileRequest& request, QString* chosen) {
    SaveDialog dialog(request.owner, request.title);
    dialog.setObjectName(QStringLiteral("SaveFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The type list shows the description alone ("JPGﾌｧｲﾙ"); the pattern in
    // brackets still filters the files listed.
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setNameFilter(request.filterDescription + QStringLiteral(" (") + request.filterPattern +
                         QStringLiteral(")"));
    dialog.setDefaultSuffix(request.defaultExtension);
    if (QDir(request.initialDir).exists())
        dialog.setDirectory(request.initialDir);
    dialog.selectFile(request.initialName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    *chosen = dialog.selectedFiles().constFirst();
    return !chosen->isEmpty();
}

} // namespace velmora::gui
