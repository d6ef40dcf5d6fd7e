// The save-file dialog: asks the user for the name of a file to write.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace velmora::gui {

struct SaveFileRequest {
    QWidget* owner = nullptr;
    QString filterDescription;   // "JPGﾌｧｲﾙ"
    QString filterPattern;       // "*.jpg"
    QString initialName;         // shown in the name box at first: "*.jpg"
    QString initialDir;          // the folder the dialog opens in
    QString title;               // the dialog's caption
    QString defaultExtension;    // appended to a name typed without one: "jpg"
    bool overwritePrompt = true; // ask before an existing file is replaced
};

// Shows the dialog modally. True and the chosen full path when the user chose a
// file; false when the dialog was cancelled or failed.
using SaveFileDialog = std::function<bool(const SaveFileRequest& request, QString* chosen)>;

// The program's save dialog: Qt's own file dialog (not the desktop's), so it
// looks and behaves the same everywhere. A name typed with wildcards ("*.jpg",
// the initial name included) is never written: accepting it applies it as a
// filter of the files listed and the dialog stays open.
bool GetSaveFileName(const SaveFileRequest& request, QString* chosen);

} // namespace velmora::gui
