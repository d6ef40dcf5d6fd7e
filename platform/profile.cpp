#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "outputfile/outputfile.h"

#include <sys/stat.h>
#include <unistd.h>

namespace velmora::platform {

namespace {

// A settings file is a few hundred bytes; anything far larger is not ours and is
// not read, so a stray huge file cannot exhaust memory. It is refused whole:
// reading only its start would cut a value, or a rewrite would drop the rest.
constexpr std::size_t kMaxFileBytes = 1 << 20;

std::string trim(const std::string& s) {
    const auto isBlank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && isBlank(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

bool equalNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

bool readLines(const std::string& file, std::vector<std::string>* lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::string content(kMaxFileBytes + 1, '\0');
    in.read(content.data(), static_cast<std::streamsize>(content.size()));
    if (static_cast<std::size_t>(in.gcount()) > kMaxFileBytes)
        return false;
    content.resize(static_cast<std::size_t>(in.gcount()));
    std::istringstream stream(content);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines->push_back(line);
    }
    return true;
}

// "[name]" gives name; anything else gives false.
bool sectionName(const std::string& line, std::string* name) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const std::size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    *name = trim(t.substr(1, close - 1));
    return true;
}

// "key = value" gives the trimmed key and value; comments and blank lines give false.
bool keyValue(const std::string& line, std::string* key, std::string* value) {
    const std::string t = trim(line);
    if (t.empty() || t.front() == ';' || t.front() == '#')
        return false;
    const std::size_t eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    *key = trim(t.substr(0, eq));
    *value = trim(t.substr(eq + 1));
    return !key->empty();
}

// The part of the name up to the first NUL: callers pass padded names whose NUL
// ends the name, as the system routines read them.
std::string cutAtNul(const std::string& s) {
    return s.substr(0, s.find('\0'));
}

// Puts "key=value" into the lines: over the key's line in the section, else
// after the section's last line that is not blank, else in a new section at
// the end.
void setEntry(std::vector<std::string>& lines, const std::string& section, const std::string& key,
              const std::string& value) {
    const std::string entry = key + "=" + value;
    bool inSection = false;
    std::ptrdiff_t sectionEnd = -1; // index after the last line of the matching section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string name, k, v;
        if (sectionName(lines[i], &name)) {
            inSection = equalNoCase(name, section);
            if (inSection)
                sectionEnd = static_cast<std::ptrdiff_t>(i) + 1;
        } else if (inSection) {
            if (keyValue(lines[i], &k, &v) && equalNoCase(k, key)) {
                lines[i] = entry;
                return;
            }
            if (!trim(lines[i]).empty())
                sectionEnd = static_cast<std::ptrdiff_t>(i) + 1;
        }
    }
    if (sectionEnd >= 0) {
        lines.insert(lines.begin() + sectionEnd, entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
}

} // namespace

std::string GetPrivateProfileString(const std::string& sectionIn, const std::string& keyIn,
                                    const std::string& fallback, const std::string& file) {
    const std::string section = cutAtNul(sectionIn), key = cutAtNul(keyIn);
    std::string result = cutAtNul(fallback);
    std::vector<std::string> lines;
    if (readLines(cutAtNul(file), &lines)) {
        bool inSection = false;
        for (const std::string& line : lines) {
            std::string name, k, v;
            if (sectionName(line, &name)) {
                inSection = equalNoCase(name, section);
            } else if (inSection && keyValue(line, &k, &v) && equalNoCase(k, key)) {
                result = v;
                break;
            }
        }
    }
    return result;
}

int WritePrivateProfileString(const std::string& sectionIn, const std::string& keyIn,
                              const std::string& valueIn, const std::string& fileIn) {
    const std::string section = cutAtNul(sectionIn), key = cutAtNul(keyIn);
    const std::string value = cutAtNul(valueIn), file = cutAtNul(fileIn);
    if (section.empty() || key.empty() || file.empty() ||
        key.find_first_of("\r\n=") != std::string::npos ||
        section.find_first_of("\r\n]") != std::string::npos ||
        value.find_first_of("\r\n") != std::string::npos)
        return 0;

    std::vector<std::string> lines;
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    if (exists && (!S_ISREG(st.st_mode) || !readLines(file, &lines)))
        return 0;
    // A read-only settings file stays read-only: replacing it by rename would
    // otherwise get round its permissions. The mode bits count too, since for the
    // superuser access() grants every write.
    if (exists && (::access(file.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0))
        return 0;

    setEntry(lines, section, key, value);
    std::string content;
    for (const std::string& line : lines)
        content += line + "\n";

    // The output file writes a new file beside the old one, flushes it to disk
    // and renames it over, so neither a full disk nor a crash ever leaves a
    // half-written settings file; a replaced file keeps its permissions, a new
    // one gets the umask's.
    jpeg::OutputFile out;
    if (!out.create(file) ||
        !out.write(reinterpret_cast<const unsigned char*>(content.data()), content.size()) ||
        !out.commit())
        return 0;
    return 1;
}

} // namespace velmora::platform
