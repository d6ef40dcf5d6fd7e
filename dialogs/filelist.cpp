#include "dialogs/filelist.h"

#include "gui/filenames.h"
#include "platform/folderfiles.h"

#include <QDir>
#include <QItemSelectionModel>

#include <algorithm>

namespace velmora {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, [this](int) {
        if (!quiet_)
            emit Click();
    });
    connect(this, &QListWidget::itemDoubleClicked, this, &FileList::dblClick);
}

void FileList::setPath(const QString& folder) {
    path_ = folder;
    fill();
}

void FileList::setPattern(const QString& pattern) {
    pattern_ = pattern;
    fill();
}

QString FileList::fileName() const {
    const QListWidgetItem* entry = currentItem();
    return entry == nullptr ? QString() : entry->data(Qt::UserRole).toString();
}

void FileList::focusInEvent(QFocusEvent* event) {
    // Taking the focus makes the view pick a current entry of its own. That is
    // no choice of the user's: it raises no Click and is taken back, or a first
    // click on that entry would find it current already and raise nothing.
    const bool hadCurrent = currentIndex().isValid();
    quiet_ = true;
    QListWidget::focusInEvent(event);
    if (!hadCurrent && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::Clear);
    quiet_ = false;
}

// Each entry shows the name, with U+FFFD for bytes that are not UTF-8, and
// keeps the name that opens the file. Name order ignores case.
void FileList::addNames(const QStringList& wildcards) {
    QStringList names;
    for (const std::string& bytes : platform::regularFilesIn(gui::pathBytes(path_))) {
        const QString name = gui::nameFromBytes(bytes);
        if (QDir::match(wildcards, gui::nameForDisplay(name)))
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    for (const QString& name : names) {
        auto* entry = new QListWidgetItem(gui::nameForDisplay(name), this);
        entry->setData(Qt::UserRole, name);
    }
}

void FileList::fill() {
    quiet_ = true;
    clear();
    QStringList wildcards;
    for (const QString& part : pattern_.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        wildcards << part.trimmed();
    // An empty pattern matches no file.
    if (!path_.isEmpty() && !wildcards.isEmpty())
        addNames(wildcards);
    setCurrentRow(-1);
    quiet_ = false;
}

} // namespace velmora
