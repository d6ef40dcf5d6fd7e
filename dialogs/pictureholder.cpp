#include "dialogs/pictureholder.h"

#include "gui/filenames.h"
#include "gui/pictureimage.h"
#include "imageio/imagereader.h"

#include <QPainter>

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
    // retained one. A picture too big for memory is refused before decoding and
    // treated like any undecodable file.
    // The program's own pictures (Qt's resources, ":/...") are read by Qt.
    if (path.startsWith(QLatin1Char(':'))) {
        const QImage own(path);
        setPicture(own.isNull() ? QImage() : own.convertToFormat(QImage::Format_RGB32));
        return !own.isNull();
    }
    imageio::ImageReader reader(gui::pathBytes(path));
    imageio::Picture loaded;
    if (!reader.read(&loaded)) {
        setPicture(QImage());
        return false;
    }
    setPicture(gui::imageOfPicture(loaded));
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
