#include "save/jpeglibrary.h"

#include "save/jpegstatus.h"
#include "settings/settings.h"

#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <mutex>
#include <vector>

#include <dlfcn.h>

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

ConvertFn load(QString* error) {
    std::lock_guard lock(loadMutex());
    Loaded& s = loaded();
    // Until it has been found, the library is looked for at every use, so that
    // installing it after a failed save needs no restart.
    if (s.convert == nullptr) {
        s.error.clear();
        const QString folder = s.folder.isEmpty() ? App_Folder() : s.folder;
        std::vector<QByteArray> candidates = {
            QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(kLibraryName)),
            // An installed program keeps its library in the lib folder beside bin.
            QFile::encodeName(folder + QStringLiteral("/../lib/") + QLatin1String(kLibraryName)),
        };
        if (s.systemPath)
            candidates.emplace_back(kLibraryName);
        for (const QByteArray& candidate : candidates) {
            if (candidate.contains('/') && !QFileInfo::exists(QFile::decodeName(candidate)))
                continue;
            void* handle = ::dlopen(candidate.constData(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) {
                s.error = QString::fromLocal8Bit(::dlerror());
                continue;
            }
            s.convert = reinterpret_cast<ConvertFn>(::dlsym(handle, kFunctionName));
            if (s.convert != nullptr)
                break;
            s.error = QStringLiteral("%1 has no %2")
                          .arg(QFile::decodeName(candidate), QLatin1String(kFunctionName));
            ::dlclose(handle);
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
