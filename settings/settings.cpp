#include "settings/settings.h"

#include "platform/filenames.h"
#include "platform/profile.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <pwd.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr int kNameField = 128;

// A name followed by one NUL, left-aligned in a blank-padded field: the NUL ends
// the name for the profile routine, so the padding is never seen.
std::string paddedName(const std::string& name) {
    std::string s = name;
    s.push_back('\0');
    if (s.size() < kNameField)
        s.resize(kNameField, ' ');
    return s;
}

bool exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

// The user's configuration folder as the desktop's rules give it.
std::string userConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return platform::cleanPath(config);
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') {
        const passwd* user = ::getpwuid(::getuid());
        home = user != nullptr ? user->pw_dir : "/";
    }
    return platform::cleanPath(std::string(home) + "/.config");
}

} // namespace

std::string Ini_Read(const std::string& section, const std::string& key, const std::string& file) {
    // The value comes back whole: a fixed buffer would cut a long folder path,
    // possibly inside a character, and the dialog would lose the user's folder.
    return platform::GetPrivateProfileString(section, key, std::string(), file);
}

bool Ini_Write(const std::string& section, const std::string& key, const std::string& value,
               const std::string& file) {
    if (!exists(file)) {
        // The configuration folder of an installed program may not exist yet.
        std::error_code error;
        std::filesystem::create_directories(
            platform::folderOf(platform::cleanPath(platform::absoluteName(file))), error);
    }
    return platform::WritePrivateProfileString(paddedName(section), paddedName(key), value, file) !=
           0;
}

std::string appFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.parent_path().string();
}

bool isInstalledProgram(const std::string& folder) {
    // The desktop entry marks an installed program even where its folder is
    // writable (a prefix of the user's own).
    if (exists(folder + "/../share/applications/velmora.desktop"))
        return true;
    return !exists(folder + "/velmora.ini") && ::access(folder.c_str(), W_OK) != 0;
}

std::string settingsFileFor(const std::string& folder, const std::string& userConfigFolder) {
    if (isInstalledProgram(folder))
        return userConfigFolder + "/velmora/velmora.ini";
    return folder + "/velmora.ini";
}

std::string settingsFile() {
    return settingsFileFor(appFolder(), userConfigFolder());
}

std::string scaleToText(std::int16_t scale) {
    return scale < 0 ? std::to_string(scale) : " " + std::to_string(scale);
}

std::int16_t scaleFromText(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t\n\v\f\r");
    if (first == std::string::npos)
        return kDefaultScale;
    const std::size_t last = text.find_last_not_of(" \t\n\v\f\r");
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    // A plus sign is taken as the number's own sign.
    if (*begin == '+' && end - begin > 1 && begin[1] != '-' && begin[1] != '+')
        ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || !std::isfinite(value))
        return kDefaultScale;
    const double whole = std::floor(value);
    if (whole < 1 || whole > 32767)
        return kDefaultScale;
    return static_cast<std::int16_t>(whole);
}

} // namespace velmora
