// The map of the whole result that the view shows in a corner while it moves
// or zooms: the result made small, the view's rectangle on it and the zoom as
// text. It takes no input.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

namespace velmora {

class OverviewMap : public QWidget {
    Q_OBJECT
  public:
    // The most the small result covers.
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;

    explicit OverviewMap(QWidget* parent = nullptr);

    // The result (picture enlarged by ratio, or the picture itself at ratio
    // 0) of content's size, made small to fit kWidth x kHeight; each pixel the
    // average of the result pixels it stands for (engine/reduce.h).
    static QImage thumbnail(const QImage& picture, double ratio, const QSize& content);

    void setPicture(const QImage& thumbnail);
    const QImage& picture() const { return picture_; }
    // The part of the result in view, the result's size and the zoom's text.
    void setView(const QRect& inView, const QSize& content, const QString& zoom);
    // The view's rectangle as the map draws it, in the map's own pixels.
    QRect viewMarker() const { return marker_; }
    QString zoomText() const { return zoom_; }
    // Takes its place in the bottom-right corner of area (its parent's).
    void place(const QRect& area);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage picture_;
    QRect marker_;
    QString zoom_;
};

} // namespace velmora
