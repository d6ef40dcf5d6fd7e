// File names between the system's bytes and the window's text.
//
// Qt turns a name into text as UTF-8 and cannot turn an invalid byte back, so
// a file whose name is not valid UTF-8 could be listed but never opened. Here
// each byte that is not part of a valid UTF-8 sequence becomes the lone
// surrogate U+DC80 + (byte - 0x80) in the text, and back again: every name
// makes the round trip exactly, and a valid name reads as Qt reads it. The
// layers below the window take the bytes (std::string).
#pragma once

#include <QByteArray>
#include <QString>

#include <string>

class QUrl;

namespace velmora::gui {

// The name as text, with the escapes above for invalid bytes.
QString nameFromBytes(const QByteArray& bytes);
inline QString nameFromBytes(const std::string& bytes) {
    return nameFromBytes(QByteArray::fromStdString(bytes));
}
// The bytes a name from nameFromBytes (or any ordinary text) stands for.
QByteArray nameToBytes(const QString& name);
// The same as the lower layers take a name.
inline std::string pathBytes(const QString& name) {
    return nameToBytes(name).toStdString();
}
// The name for the eye: each invalid byte shown as U+FFFD.
QString nameForDisplay(const QString& name);

// The file a local file: URL names (a dropped file), from the URL's
// percent-encoded bytes: QUrl::toLocalFile() reads them as UTF-8.
QString localFileName(const QUrl& url);

} // namespace velmora::gui
