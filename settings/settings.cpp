#include "settings/settings.h"

#include "platform/profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>

#include <unistd.h>

namespace velmora {

namespace {

constexpr int kNameField = 128;

// A name followed by one NUL, left-aligned in a blank-padded field: the NUL ends
// the name for the profile routine, so the padding is never seen.
std::string paddedName(const QString& name) {
    std::string s = name.toStdString();
    s.push_back('\0');
    if (s.size() < kNameField)
        s.resize(kNameField, ' ');
    return s;
}

} // namespace

QString Ini_Read(const QString& section, const QString& key, const QString& file) {
    // The value comes back whole: a fixed buffer would cut a long folder path,
    // possibly inside a character, and the dialog would lose the user's folder.
    const std::string value =
        platform::GetPrivateProfileString(section.toStdString(), key.toStdString(), std::string(),
                                          QFile::encodeName(file).toStdString());
    return QString::fromStdString(value);
}

bool Ini_Write(const QString& section, const QString& key, const QString& value,
               const QString& file) {
    const std::string path = QFile::encodeName(file).toStdString();
    if (!QFileInfo::exists(file)) {
        // The configuration folder of an installed program may not exist yet.
        QDir().mkpath(QFileInfo(file).absolutePath());
    }
    return platform::WritePrivateProfileString(paddedName(section), paddedName(key),
                                               value.toStdString(), path) != 0;
}

QString appFolder() {
    return QCoreApplication::applicationDirPath();
}

bool isInstalledProgram(const QString& folder) {
    // The desktop entry marks an installed program even where its folder is
    // writable (a prefix of the user's own).
    if (QFileInfo::exists(folder + QStringLiteral("/../share/applications/velmora.desktop")))
        return true;
    return !QFileInfo::exists(folder + QStringLiteral("/velmora.ini")) &&
           ::access(QFile::encodeName(folder).constData(), W_OK) != 0;
}

QString settingsFileFor(const QString& folder, const QString& userConfigFolder) {
    if (isInstalledProgram(folder))
        return userConfigFolder + QStringLiteral("/velmora/velmora.ini");
    return folder + QStringLiteral("/velmora.ini");
}

QString settingsFile() {
    return settingsFileFor(appFolder(),
                           QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

QString scaleToText(std::int16_t scale) {
    return scale < 0 ? QString::number(scale) : QStringLiteral(" ") + QString::number(scale);
}

std::int16_t scaleFromText(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return kDefaultScale;
    const double whole = std::floor(value);
    if (whole < 1 || whole > 32767)
        return kDefaultScale;
    return static_cast<std::int16_t>(whole);
}

} // namespace velmora
