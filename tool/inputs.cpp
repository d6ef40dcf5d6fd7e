#include "tool/inputs.h"

#include "imageio/formatreader.h"
#include "imageio/sourcefile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include <dirent.h>
#include <sys/stat.h>

namespace velmora::tool {

std::optional<FileId> fileId(const std::string& name) {
    struct stat st {};
    if (::stat(name.c_str(), &st) != 0)
        return std::nullopt;
    return FileId{st.st_dev, st.st_ino};
}

bool nameTaken(const std::string& name) {
    struct stat st {};
    return ::lstat(name.c_str(), &st) == 0;
}

namespace {

std::string joined(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

// A file's own name: the last part of its path, trailing slashes left out.
std::string ownName(std::string path) {
    while (path.size() > 1 && path.ends_with('/'))
        path.pop_back();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether a file found in a folder is one to enlarge: a picture by its
// content, or a file that cannot be opened (the run then says why).
bool isCandidate(const std::string& path) {
    imageio::SourceFile file;
    if (!file.openPath(path))
        return true;
    // The first bytes, as the image reader tells the formats it reads.
    const std::string head = file.read(static_cast<long long>(imageio::kSignatureBytes));
    return imageio::formatOf(reinterpret_cast<const unsigned char*>(head.data()), head.size()) !=
           imageio::PictureFormat::Unknown;
}

// The names in a folder, sorted by their bytes, hidden ones left out; the
// system's error when it cannot be read.
int namesIn(const std::string& folder, std::vector<std::string>* names) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return errno;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.')
            names->emplace_back(entry->d_name);
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return 0;
}

// What an entry of a folder is, by its own kind and not its link's, except
// that a link to a regular file is a file.
enum class Entry { File, Folder, Other };

Entry entryKind(const std::string& path, FileId* id) {
    const char* name = path.c_str();
    struct stat st {};
    if (::lstat(name, &st) != 0)
        return Entry::Other;
    *id = {st.st_dev, st.st_ino};
    if (S_ISDIR(st.st_mode))
        return Entry::Folder;
    if (S_ISLNK(st.st_mode) && ::stat(name, &st) != 0)
        return Entry::Other;
    return S_ISREG(st.st_mode) ? Entry::File : Entry::Other;
}

// One walk through an input folder and, when recursive, its subfolders.
class Walk {
  public:
    Walk(bool recursive, std::optional<FileId> skipped, std::vector<InputFile>* files)
        : recursive_(recursive), skipped_(skipped), files_(files) {}

    // The input folder `path`.
    void start(const std::string& path) {
        if (const std::optional<FileId> id = fileId(path))
            seen_.insert(*id);
        folder(path, std::string());
    }

  private:
    // The folder `path`, whose pictures go `below` in the output folder.
    void folder(const std::string& path, const std::string& below) {
        std::vector<std::string> names;
        if (const int error = namesIn(path, &names); error != 0) {
            files_->push_back(
                {path, below, "cannot read the folder " + path + ": " + std::strerror(error)});
            return;
        }
        for (const std::string& name : names)
            entry(joined(path, name), below + name);
    }

    void entry(const std::string& path, const std::string& below) {
        FileId id{};
        switch (entryKind(path, &id)) {
        case Entry::File:
            if (isCandidate(path))
                files_->push_back({path, below, std::string()});
            break;
        case Entry::Folder:
            if (recursive_ && id != skipped_ && seen_.insert(id).second)
                folder(path, below + '/');
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

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::vector<InputFile> collectInputs(const std::vector<std::string>& inputs, bool recursive,
                                     std::optional<FileId> skipped) {
    std::vector<InputFile> files;
    for (const std::string& input : inputs) {
        if (isFolder(input))
            Walk(recursive, skipped, &files).start(input);
        else
            files.push_back({input, ownName(input), std::string()});
    }
    return files;
}

} // namespace velmora::tool
