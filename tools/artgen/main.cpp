// velmora-artgen: writes the button frames and the dialogs' texture strip as
// 24-bit BMP files into the folder given as the only argument (default: the
// source tree's controls/resources), from which the program compiles them in.
#include "frames.h"
#include "texture.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageWriter>
#include <QTextStream>

namespace {

bool save(const QDir& dir, const QString& fileName, const QImage& image) {
    const QString path = dir.filePath(fileName);
    QImageWriter writer(path, "bmp");
    if (!writer.write(image)) {
        QTextStream(stderr) << "velmora-artgen: cannot write " << path << ": "
                            << writer.errorString() << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString outDir = args.size() > 1 ? args.at(1) : QStringLiteral(VELMORA_ARTGEN_OUTPUT_DIR);
    QDir dir(outDir);
    if (!dir.mkpath(QStringLiteral("."))) {
        QTextStream(stderr) << "velmora-artgen: cannot create " << outDir << '\n';
        return 1;
    }
    bool ok = true;
    for (const auto& frame : artgen::drawFrames())
        ok = save(dir, frame.fileName, frame.image) && ok;
    ok = save(dir, QStringLiteral("metal.bmp"), artgen::drawTexture()) && ok;
    return ok ? 0 : 1;
}
