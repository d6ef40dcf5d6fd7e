// The folder list of the image selection dialog: the path from the root down to
// the current folder, each level indented one step further, then the subfolders
// of the current folder. A click only marks an entry; a double click or Enter
// opens it, and only that raises Change.
#pragma once

#include "platform/drives.h"

#include <QListWidget>

namespace velmora {

class FolderList : public QListWidget {
    Q_OBJECT
  public:
    explicit FolderList(QWidget* parent = nullptr);

    // The folder shown ("" before the first setPath).
    QString path() const { return path_; }
    // Shows folder (made absolute and cleaned). When it cannot be listed the list
    // stays as it was and the reason comes back. Raises no Change.
    platform::FolderError setPath(const QString& folder);

    // Opens the entry at row as if it had been double-clicked.
    void openRow(int row);

  signals:
    void Change();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void fill();

    QString path_;
};

} // namespace velmora
