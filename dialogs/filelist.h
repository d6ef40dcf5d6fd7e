// The file list of the image selection dialog: the regular files of one folder
// (links to them included) that match a pattern such as "*.bmp;*.jpg;*.jpeg"
// (case ignored), hidden files left out, in name order. A change of the
// current entry by the user raises Click, a double click on an entry dblClick
// (after the Click of its first press).
#pragma once

#include <QListWidget>

namespace velmora {

class FileList : public QListWidget {
    Q_OBJECT
  public:
    explicit FileList(QWidget* parent = nullptr);

    QString path() const { return path_; }
    void setPath(const QString& folder);
    QString pattern() const { return pattern_; }
    void setPattern(const QString& pattern);

    // The name of the current entry, as it opens the file (see
    // platform/filenames.h); "" when there is none.
    QString fileName() const;

  signals:
    void Click();
    void dblClick();

  protected:
    void focusInEvent(QFocusEvent* event) override;

  private:
    void fill();
    void addNames(const QStringList& wildcards);

    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    bool quiet_ = false; // filling or taking the focus: no Click
};

} // namespace velmora
