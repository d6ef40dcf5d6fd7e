// File names as the system gives them: bytes, which need not be valid UTF-8.
//
// Qt turns a name into text as UTF-8 and cannot turn an invalid byte back, so
// a file whose name is not valid UTF-8 could be listed but never opened. Here
// each byte that is not part of a valid UTF-8 sequence becomes the lone
// surrogate U+DC80 + (byte - 0x80) in the text, and back again: every name
// makes the round trip exactly, and a valid name reads as Qt reads it.
#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

namespace velmora::platform {

// The name as text, with the escapes above for invalid bytes.
QString nameFromBytes(const QByteArray& bytes);
// The bytes a name from nameFromBytes (or any ordinary text) stands for.
QByteArray nameToBytes(const QString& name);
// The name for the eye: each invalid byte shown as U+FFFD.
QString nameForDisplay(const QString& name);

// The file a local file: URL names (a dropped file), from the URL's
// percent-encoded bytes: QUrl::toLocalFile() reads them as UTF-8.
QString localFileName(const QUrl& url);
// A name from the command line made absolute against the current folder,
// both taken as bytes (a relative name is joined to the folder as it is).
QString absoluteName(const QString& name);

} // namespace velmora::platform
