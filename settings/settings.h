// The settings file: three values kept between runs in one INI section.
// Names of files are bytes as the system has them; values are UTF-8 text.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

inline constexpr char kSection[] = "Section";
inline constexpr char kKeyScale[] = "Scale";
inline constexpr char kKeyPutPath[] = "Put_Path";
inline constexpr char kKeyGetPath[] = "Get_Path";

// The ratio used when "Scale" is missing, empty or unusable.
inline constexpr std::int16_t kDefaultScale = 12;
// The range the zoom-ratio dialog offers, in tenths.
inline constexpr std::int16_t kMinScale = 11;
inline constexpr std::int16_t kMaxScale = 100;

// The value under key, or "" when the file, the section or the key is missing.
// The value comes back whole, whatever its length.
std::string Ini_Read(const std::string& section, const std::string& key, const std::string& file);

// Stores value under key (creating file, section and key as needed); false
// when the file could not be written.
bool Ini_Write(const std::string& section, const std::string& key, const std::string& value,
               const std::string& file);

// The folder of the executable, as the system reports it.
std::string appFolder();

// Whether the program in programFolder is an installed one: its desktop entry
// lies in the share folder beside its bin folder, or its folder cannot be
// written and holds no settings file. An installed program keeps what it
// remembers with the user, not beside itself.
bool isInstalledProgram(const std::string& programFolder);

// The settings file: "velmora.ini" beside the executable, or, for an installed
// program, in the user's configuration folder ($XDG_CONFIG_HOME, else
// ~/.config).
std::string settingsFile();
// The same rule for a program in the given folder, with the given configuration
// folder for the user.
std::string settingsFileFor(const std::string& programFolder, const std::string& userConfigFolder);

// "Scale" as stored: one blank for the sign of a non-negative number, then the digits.
std::string scaleToText(std::int16_t scale);
// "Scale" as read back: blanks ignored, rounded down; a value that does not convert,
// lies outside the 16-bit range or is not above zero gives kDefaultScale.
std::int16_t scaleFromText(const std::string& text);

} // namespace velmora
