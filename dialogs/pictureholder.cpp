#include "dialogs/pictureholder.h"

#include "platform/surface.h"

#include <QImageReader>
#include <QPainter>

namespace {

// A picture may take at most this share of the memory the machine can still
// give. A larger one is refused before decoding: the allocation itself might
// succeed on an overcommitting system and only fail (fatally) when the decoder
// writes the pixels.
constexpr double kMemoryShare = 0.5;

bool fitsInMemory(const QSize& size) {
    if (!size.isValid())
        return true; // unknown until decoded; the allocation decides
    const double bytes = double(size.width()) * double(size.height()) * 4.0;
    const long long available = velmora::platform::AvailableMemoryBytes();
    return available < 0 || bytes <= kMemoryShare * double(available);
}

} // namespace

namespace velmora {

PictureHolder::PictureHolder(QWidget* parent) : QWidget(parent) {
    hide();
}

void PictureHolder::setDesign(const QSize& size, const QColor& background) {
    designSize_ = size;
    background_ = background;
    if (picture_.isNull())
        resize(designSize_);
}

bool PictureHolder::loadPicture(const QString& path) {
    // Only one full-size copy of the picture is kept: the reader's image is the
    // retained one. A picture whose pixels cannot be allocated makes read() fail,
    // which is treated like any undecodable file.
    QImageReader reader(path);
    reader.setAutoTransform(false);
    QImage loaded;
    if (!fitsInMemory(reader.size()) || !reader.read(&loaded) || loaded.isNull()) {
        setPicture(QImage());
        return false;
    }
    setPicture(loaded);
    return true;
}

void PictureHolder::setPicture(const QImage& picture) {
    picture_ = picture;
    resize(picture_.isNull() ? designSize_ : picture_.size());
    update();
}

void PictureHolder::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background_);
    if (!picture_.isNull())
        p.drawImage(0, 0, picture_);
}

} // namespace velmora
