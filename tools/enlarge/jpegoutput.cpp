#include "tools/enlarge/jpegoutput.h"

#include "engine/enlarge.h"
#include "libvelmora/outputfile.h"
#include "libvelmora/statuswords.h"
#include "libvelmora/stripencoder.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace velmora {

namespace {

constexpr int kQuality = 100; // as the program saves

// Strips of the enlargement, each computed by the thread that compresses it.
class EnlargedStrips : public jpeg::StripSource {
  public:
    EnlargedStrips(const SourceImage& source, double r, int width)
        : source_(source), r_(r), width_(width) {}

    int read(int first, int count, std::vector<unsigned char>& scratch,
             unsigned char** rows) override {
        const std::size_t rowBytes = std::size_t(width_) * sizeof(std::uint32_t);
        if (scratch.size() < rowBytes * std::size_t(count))
            scratch.resize(rowBytes * std::size_t(count));
        EnlargeOptions options;
        options.threads = 1; // the strips already keep every core busy
        options.blendedHigh = 0xFF000000u;
        options.firstRow = first;
        const DestImage strip{reinterpret_cast<std::uint32_t*>(scratch.data()), width_, count,
                              width_};
        if (!Enlarge(source_, r_, strip, options))
            return VELMORA_E_SOURCE_UNREADABLE;
        for (int i = 0; i < count; ++i)
            rows[i] = scratch.data() + rowBytes * std::size_t(i);
        return VELMORA_OK;
    }

  private:
    const SourceImage source_;
    const double r_;
    const int width_;
};

} // namespace

int Write_Enlarged_Jpeg(const SourceImage& source, double r, int width, int height,
                        const QString& path, const std::function<void(int rows)>& progress,
                        QString* error) {
    jpeg::OutputFile output;
    int status = VELMORA_OK;
    if (!output.create(QFile::encodeName(path).toStdString())) {
        status = VELMORA_E_DESTINATION;
    } else {
        EnlargedStrips strips(source, r, width);
        jpeg::EncodeSettings settings;
        settings.width = width;
        settings.height = height;
        settings.layout = jpeg::PixelLayout::Bgrx; // 0xFFRRGGBB words, blue first in memory
        settings.quality = kQuality;
        settings.progress = progress;
        status = jpeg::Encode(settings, strips, output);
        if (status == VELMORA_OK && !output.commit())
            status = VELMORA_E_DESTINATION;
    }
    if (status != VELMORA_OK && error)
        *error = Jpeg_Status_Words(status, output.error());
    return status;
}

QString Jpeg_Status_Words(int status, int osError) {
    if (status == VELMORA_E_DESTINATION && (osError == ENOSPC || osError == EDQUOT))
        return QStringLiteral("not enough disk space");
    if (status == VELMORA_E_DESTINATION && osError != 0)
        return QStringLiteral("the file cannot be written: %1")
            .arg(QString::fromLocal8Bit(std::strerror(osError)));
    if (const jpeg::StatusWords* words = jpeg::FindStatusWords(status))
        return QString::fromUtf8(words->english);
    return QStringLiteral("the JPEG encoder reported status %1").arg(status);
}

} // namespace velmora
