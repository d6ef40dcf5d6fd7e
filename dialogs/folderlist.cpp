#include "dialogs/folderlist.h"

#include "gui/filenames.h"
#include "platform/folderfiles.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include <algorithm>

namespace velmora {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kDepthRole = Qt::UserRole + 1;
constexpr int kIndentPixels = 9;

// Draws each entry (icon and name) shifted right by its depth.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted(option);
        shifted.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

  private:
    static int indent(const QModelIndex& index) {
        return index.data(kDepthRole).toInt() * kIndentPixels;
    }
};

} // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new IndentDelegate(this));
    connect(this, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { openRow(row(item)); });
}

platform::FolderError FolderList::setPath(const QString& folder) {
    const QString target = QDir::cleanPath(QDir(folder).absolutePath());
    const platform::FolderError error = platform::checkFolder(gui::pathBytes(target));
    if (!error.ok())
        return error;
    path_ = target;
    fill();
    return error;
}

void FolderList::openRow(int row) {
    QListWidgetItem* entry = item(row);
    if (entry == nullptr)
        return;
    const QString target = entry->data(kPathRole).toString();
    if (target == path_)
        return;
    // A folder that cannot be opened leaves the list where it was.
    if (setPath(target).ok())
        emit Change();
}

void FolderList::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FolderList::fill() {
    clear();
    const QIcon open = QApplication::style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = QApplication::style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain from the root down to the shown folder.
    QStringList parts = path_.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString at = QStringLiteral("/");
    auto add = [this](const QIcon& icon, const QString& text, const QString& path, int depth) {
        auto* entry = new QListWidgetItem(icon, text);
        entry->setData(kPathRole, path);
        entry->setData(kDepthRole, depth);
        addItem(entry);
        return entry;
    };
    QListWidgetItem* current = add(open, at, at, 0);
    int depth = 0;
    for (const QString& part : parts) {
        at = (at == QLatin1String("/") ? at : at + QLatin1Char('/')) + part;
        current = add(open, gui::nameForDisplay(part), at, ++depth);
    }

    // Its subfolders, hidden ones left out, in name order; a name that is not
    // UTF-8 is shown as well as it can be and still opens.
    QStringList subfolders;
    for (const std::string& name : platform::foldersIn(gui::pathBytes(path_)))
        subfolders << gui::nameFromBytes(name);
    std::sort(subfolders.begin(), subfolders.end(), [](const QString& a, const QString& b) {
        return gui::nameForDisplay(a).compare(gui::nameForDisplay(b), Qt::CaseInsensitive) < 0;
    });
    const QDir dir(path_);
    for (const QString& name : subfolders)
        add(closed, gui::nameForDisplay(name), QDir::cleanPath(dir.filePath(name)), depth + 1);

    setCurrentItem(current);
    scrollToItem(current);
}

} // namespace velmora
