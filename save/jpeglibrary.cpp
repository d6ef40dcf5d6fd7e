#include "save/jpeglibrary.h"

#include "save/jpegstatus.h"
#include "settings/settings.h"

#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <cstdint>
#include <mutex>

namespace velmora {

namespace {

using ConvertFn = std::int16_t (*)(const char*, char*, std::int32_t, std::int32_t, std::int32_t);

constexpr const char* kLibraryName = "libvelmora.so";
constexpr const char* kFunctionName = "ConvertBMPtoJPG";

struct Loaded {
    QString folder; // the folder searched first; empty: the executable's folder
    bool systemPath = true;
    ConvertFn convert = nullptr;
    QString error;
};

Loaded& loaded() {
    static Loaded state;
    return state;
}

std::mutex& loadMutex() {
    static std::mutex m;
    return m;
}

// The places to look, in order: the executable's folder (or the folder a test
// set), the lib folder beside it for an installed program, then the system's
// library path.
QStringList candidates(const Loaded& s) {
    const QString folder = s.folder.isEmpty() ? App_Folder() : s.folder;
    QStringList out;
    for (const QString& path :
         {folder + QLatin1Char('/') + QLatin1String(kLibraryName),
          folder + QStringLiteral("/../lib/") + QLatin1String(kLibraryName)}) {
        if (QFileInfo::exists(path))
            out << path;
    }
    if (s.systemPath)
        out << QLatin1String(kLibraryName);
    return out;
}

ConvertFn load(QString* error) {
    std::lock_guard lock(loadMutex());
    Loaded& s = loaded();
    // Until it has been found, the library is looked for at every use, so that
    // installing it after a failed save needs no restart.
    if (s.convert == nullptr) {
        s.error.clear();
        for (const QString& candidate : candidates(s)) {
            QLibrary library(candidate);
            s.convert = reinterpret_cast<ConvertFn>(library.resolve(kFunctionName));
            if (s.convert != nullptr)
                break;
            s.error = library.errorString();
            library.unload();
        }
        if (s.convert == nullptr && s.error.isEmpty())
            s.error = QStringLiteral("%1 was not found").arg(QLatin1String(kLibraryName));
    }
    if (s.convert == nullptr && error)
        *error = s.error;
    return s.convert;
}

} // namespace

void Set_Library_Folder(const QString& folder, bool thenSystemPath) {
    std::lock_guard lock(loadMutex());
    loaded() = Loaded();
    loaded().folder = folder;
    loaded().systemPath = thenSystemPath;
}

int ConvertBitmapToJpeg(const QString& bitmapPath, const QString& jpegPath, QString* error) {
    const ConvertFn convert = load(error);
    if (convert == nullptr)
        return kLibraryMissing;
    const QByteArray source = QFile::encodeName(bitmapPath);
    QByteArray destination = QFile::encodeName(jpegPath);
    const int status = convert(source.constData(), destination.data(), -1, 100, -1);
    if (status != 0 && error)
        *error = Jpeg_Status_Text(status);
    return status;
}

} // namespace velmora
