#include "gui/filenames.h"

#include "platform/filenames.h"

#include <QUrl>

namespace velmora::gui {

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

} // namespace

QString nameFromBytes(const QByteArray& bytes) {
    QString name;
    name.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype run = 0; // start of the valid bytes not yet added
    for (qsizetype i = 0; i < size;) {
        const int length = platform::utf8SequenceLength(p + i, std::size_t(size - i));
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

} // namespace velmora::gui
