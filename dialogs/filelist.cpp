#include "dialogs/filelist.h"

#include <QDir>
#include <QItemSelectionModel>

namespace velmora {

FileList::FileList(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QListWidget::currentRowChanged, this, [this](int) {
        if (!quiet_)
            emit Click();
    });
    connect(this, &QListWidget::itemDoubleClicked, this, &FileList::DblClick);
}

void FileList::SetPath(const QString& folder) {
    path_ = folder;
    fill();
}

void FileList::SetPattern(const QString& pattern) {
    pattern_ = pattern;
    fill();
}

QString FileList::FileName() const {
    const QListWidgetItem* entry = currentItem();
    return entry == nullptr ? QString() : entry->text();
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

void FileList::fill() {
    quiet_ = true;
    clear();
    QStringList wildcards;
    for (const QString& part : pattern_.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        wildcards << part.trimmed();
    // QDir would take an empty filter list for "every file"; a pattern with no
    // wildcard in it matches none. Name filters ignore case unless told not to.
    if (!path_.isEmpty() && !wildcards.isEmpty())
        addItems(QDir(path_).entryList(wildcards, QDir::Files | QDir::NoDotAndDotDot,
                                       QDir::Name | QDir::IgnoreCase));
    setCurrentRow(-1);
    quiet_ = false;
}

} // namespace velmora
