#include "platform/filenames.h"

#include <climits>
#include <vector>

#include <unistd.h>

namespace velmora::platform {

int utf8SequenceLength(const unsigned char* p, std::size_t left) {
    const unsigned char lead = p[0];
    int length;
    char32_t least;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        least = 0x10000;
    } else {
        return 0;
    }
    if (left < std::size_t(length))
        return 0;
    char32_t code = lead & (0x3F >> (length - 1));
    for (int i = 1; i < length; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[i] & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

std::string nameForDisplay(std::string_view name) {
    std::string shown;
    shown.reserve(name.size());
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    for (std::size_t i = 0; i < name.size();) {
        const int length = utf8SequenceLength(p + i, name.size() - i);
        if (length > 0) {
            shown.append(name.substr(i, std::size_t(length)));
            i += std::size_t(length);
        } else {
            shown += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return shown;
}

std::string absoluteName(const std::string& name) {
    char folder[PATH_MAX];
    if (name.starts_with('/') || ::getcwd(folder, sizeof folder) == nullptr)
        return name;
    return std::string(folder) + '/' + name;
}

std::string cleanPath(std::string_view path) {
    if (path.empty())
        return {};
    const bool absolute = path.front() == '/';
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !parts.empty() && parts.back() != "..")
            parts.pop_back();
        else if (part != ".." || !absolute)
            parts.push_back(part);
    }
    std::string clean = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            clean += '/';
        clean.append(parts[i]);
    }
    return clean.empty() ? "." : clean;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace velmora::platform
