// A hidden picture holder: keeps one picture in a retained image that can be
// copied from while the control is never shown, and takes the picture's size.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

namespace velmora {

class PictureHolder : public QWidget {
    Q_OBJECT
  public:
    explicit PictureHolder(QWidget* parent = nullptr);

    // Reads an image file as the picture; the holder takes its size. On failure
    // (unreadable, undecodable or too big for memory) the holder goes back to
    // its stored state: no picture, its design size, and false comes back.
    bool loadPicture(const QString& path);
    // Takes picture as it is; a null image empties the holder.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    // The stored state the holder returns to when a load fails.
    void setDesign(const QSize& size, const QColor& background);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QSize designSize_;
    QColor background_ = Qt::black;
};

} // namespace velmora
