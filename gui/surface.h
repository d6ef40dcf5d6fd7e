// A picture surface: a child control that keeps everything drawn into it in a
// retained image, so that drawing survives repainting, can be read back pixel by
// pixel and can be saved.
//
// The retained image always has the control's size. It shows the control's
// picture at 1:1 from the top-left corner over the background colour, plus
// whatever was drawn since the last clear(). Colour values passed to GetPixel and
// SetPixel keep red in bits 0-7, green in 8-15 and blue in 16-23.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>

namespace velmora::gui {

class Surface : public QWidget {
    Q_OBJECT
  public:
    explicit Surface(QWidget* parent = nullptr);

    // A new surface on parent with its object name, place and background,
    // cleared so that it shows the background.
    static Surface* place(QWidget* parent, const QString& name, const QRect& geometry,
                          const QColor& background);

    // Whether the control takes the size of a picture given to it.
    void setAutoSize(bool on) { autoSize_ = on; }
    bool autoSize() const { return autoSize_; }

    void setBackground(const QColor& colour);
    QColor background() const { return background_; }

    // The picture shown under the drawing; an empty image means none. Setting it
    // clears the drawing (and resizes the control when it sizes itself).
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }

    // Erases the drawing: the retained image shows the picture again.
    void clear();

    // The colour at (x, y) of the retained image; 0xFFFFFFFF outside it.
    std::uint32_t GetPixel(int x, int y) const;
    // Writes one pixel of the retained image; a write outside it is dropped.
    void SetPixel(int x, int y, std::uint32_t colour);

    // The retained image, in QImage::Format_RGB32. Whoever writes into it directly
    // calls update() for the part that changed.
    const QImage& image() const { return image_; }
    QImage& image() { return image_; }

    // Saves the whole retained image as a Windows bitmap (24 bits per pixel).
    bool saveBitmap(const QString& path) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void paintCleared(QImage& target, const QRect& area) const;

    QImage picture_;
    QImage image_;
    QColor background_;
    bool autoSize_ = false;
};

} // namespace velmora::gui
