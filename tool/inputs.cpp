#include "tool/inputs.h"

#include "gui/filenames.h"
#include "imageio/formatreader.h"
#include "imageio/sourcefile.h"

#include <QByteArray>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <dirent.h>
#include <sys/stat.h>

namespace velmora::tool {

std::optional<FileId> fileId(const QString& name) {
    struct stat st {};
    if (::stat(gui::nameToBytes(name).constData(), &st) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

bool nameTaken(const QString& name) {
    struct stat st {};
    return ::lstat(gui::nameToBytes(name).constData(), &st) == 0;
}

namespace {

QString joined(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

// A file's own name: the last part of its path, trailing slashes left out.
QString ownName(QString path) {
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// Whether a file found in a folder is one to enlarge: a picture by its
// content, or a file that cannot be opened (the run then says why).
bool isCandidate(const QString& path) {
    imageio::SourceFile file;
    if (!file.openPath(gui::pathBytes(path)))
        return true;
    // The first bytes, as the image reader tells the formats it reads.
    const std::string head = file.read(static_cast<long long>(imageio::kSignatureBytes));
    return imageio::formatOf(reinterpret_cast<const unsigned char*>(head.data()), head.size()) !=
           imageio::PictureFormat::Unknown;
}

// The names in a folder, sorted by their bytes, hidden ones left out; the
// system's error when it cannot be read.
int namesIn(const QString& folder, QStringList* names) {
    DIR* dir = ::opendir(gui::nameToBytes(folder).constData());
    if (!dir)
        return errno;
    std::vector<QByteArray> found;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            found.emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(found.begin(), found.end());
    for (const QByteArray& name : found)
        names->append(gui::nameFromBytes(name));
    return 0;
}

// What an entry of a folder is, by its own kind and not its link's, except
// that a link to a regular file is a file.
enum class Entry { File, Folder, Other };

Entry entryKind(const QString& path, FileId* id) {
    const QByteArray name = gui::nameToBytes(path);
    struct stat st {};
    if (::lstat(name.constData(), &st) != 0)
        return Entry::Other;
    *id = {st.st_dev, st.st_ino};
    if (S_ISDIR(st.st_mode))
        return Entry::Folder;
    if (S_ISLNK(st.st_mode) && ::stat(name.constData(), &st) != 0)
        return Entry::Other;
    return S_ISREG(st.st_mode) ? Entry::File : Entry::Other;
}

// One walk through an input folder and, when recursive, its subfolders.
class Walk {
  public:
    Walk(bool recursive, std::optional<FileId> skipped, std::vector<InputFile>* files)
        : recursive_(recursive), skipped_(skipped), files_(files) {}

    // The input folder `path`.
    void start(const QString& path) {
        if (const std::optional<FileId> id = fileId(path))
            seen_.insert(*id);
        folder(path, QString());
    }

  private:
    // The folder `path`, whose pictures go `below` in the output folder.
    void folder(const QString& path, const QString& below) {
        QStringList names;
        if (const int error = namesIn(path, &names); error != 0) {
            files_->push_back({path, below,
                               QStringLiteral("cannot read the folder %1: %2")
                                   .arg(path, QString::fromLocal8Bit(std::strerror(error)))});
            return;
        }
        for (const QString& name : names)
            entry(joined(path, name), below + name);
    }

    void entry(const QString& path, const QString& below) {
        FileId id{};
        switch (entryKind(path, &id)) {
        case Entry::File:
            if (isCandidate(path))
                files_->push_back({path, below, QString()});
            break;
        case Entry::Folder:
            if (recursive_ && id != skipped_ && seen_.insert(id).second)
                folder(path, below + QLatin1Char('/'));
            break;
        case Entry::Other:
            break;
        }
    }

    bool recursive_;
    std::optional<FileId> skipped_;
    std::vector<InputFile>* files_;
    std::set<FileId> seen_; // folders walked, so that none is walked twice
};

bool isFolder(const QString& path) {
    struct stat st {};
    return ::stat(gui::nameToBytes(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::vector<InputFile> collectInputs(const QStringList& inputs, bool recursive,
                                     std::optional<FileId> skipped) {
    std::vector<InputFile> files;
    for (const QString& input : inputs) {
        if (isFolder(input))
            Walk(recursive, skipped, &files).start(input);
        else
            files.push_back({input, ownName(input), QString()});
    }
    return files;
}

} // namespace velmora::tool
