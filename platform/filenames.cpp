#include "platform/filenames.h"

#include <QUrl>

#include <climits>

#include <unistd.h>

namespace velmora::platform {

namespace {

// The escape of byte b (0x80..0xFF): a lone low surrogate, which valid UTF-8
// can never produce.
constexpr char16_t kEscapeBase = 0xDC00;

// Whether name[i] is an escape: in the range, and not the second half of a
// surrogate pair (U+1F4F7, a valid four-byte name, ends in U+DCF7).
bool isEscape(const QString& name, qsizetype i) {
    const char16_t c = name.at(i).unicode();
    return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF &&
           (i == 0 || !name.at(i - 1).isHighSurrogate());
}

// The length of the valid UTF-8 sequence at p (at most `left` bytes), or 0.
// Overlong forms, surrogates and code points above U+10FFFF are not valid.
int sequenceLength(const unsigned char* p, qsizetype left) {
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
    if (left < length)
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

} // namespace

QString nameFromBytes(const QByteArray& bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype run = 0; // start of the valid bytes not yet added
    for (qsizetype i = 0; i < size;) {
        const int length = sequenceLength(p + i, size - i);
        if (length > 0) {
            i += length;
            continue;
        }
        name += QString::fromUtf8(bytes.constData() + run, i - run);
        name += QChar(char16_t(kEscapeBase + p[i]));
        run = ++i;
    }
    name += QString::fromUtf8(bytes.constData() + run, size - run);
    return name;
}

QByteArray nameToBytes(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype run = 0; // start of the text not yet added
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (!isEscape(name, i))
            continue;
        bytes += QStringView(name).mid(run, i - run).toUtf8();
        bytes += char(name.at(i).unicode() - kEscapeBase);
        run = i + 1;
    }
    bytes += QStringView(name).mid(run).toUtf8();
    return bytes;
}

QString nameForDisplay(const QString& name) {
    QString shown = name;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (isEscape(name, i))
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QString localFileName(const QUrl& url) {
    if (!url.isLocalFile() || !url.host().isEmpty())
        return url.toLocalFile();
    return nameFromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString absoluteName(const QString& name) {
    char folder[PATH_MAX];
    if (name.startsWith(QLatin1Char('/')) || ::getcwd(folder, sizeof folder) == nullptr)
        return name;
    return nameFromBytes(QByteArray(folder)) + QLatin1Char('/') + name;
}

} // namespace velmora::platform
