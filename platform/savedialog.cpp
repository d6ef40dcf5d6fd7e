#include "platform/savedialog.h"

#include <QDir>
#include <QFileDialog>

namespace velmora::platform {

bool GetSaveFileName(const SaveFileRequest& request, QString* chosen) {
    QFileDialog dialog(request.owner, request.title);
    dialog.setObjectName(QStringLiteral("SaveFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
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

} // namespace velmora::platform
