// A pretend memory figure: a fake /proc whose control group (cgroup v2) leaves
// the process `bytes`, made the source of platform::availableMemoryBytes().
#pragma once

#include "platform/memory.h"

#include <QDir>
#include <QFile>

namespace velmora::testkit {

inline void PretendMemoryLeft(const QString& folder, long long bytes) {
    const QDir root(folder);
    root.mkpath(QStringLiteral("proc/self"));
    root.mkpath(QStringLiteral("cg"));
    const auto put = [&](const QString& name, const QByteArray& text) {
        QFile f(root.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(text);
    };
    put(QStringLiteral("proc/self/cgroup"), "0::/\n");
    put(QStringLiteral("proc/self/mountinfo"),
        "1 1 0:1 / " + root.filePath(QStringLiteral("cg")).toUtf8() + " rw - cgroup2 cgroup2 rw\n");
    put(QStringLiteral("cg/memory.max"), QByteArray::number(bytes + 1000000));
    put(QStringLiteral("cg/memory.current"), "1000000");
    platform::setMemorySources(
        {QFile::encodeName(root.filePath(QStringLiteral("proc"))).toStdString()});
}

// Back to the real figure.
inline void StopPretendingMemory() {
    platform::setMemorySources({});
}

} // namespace velmora::testkit
