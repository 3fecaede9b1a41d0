#pragma once
// A strip of equally wide pictures, one of which is drawn at a time; the mask colour of
// the strip shows the background through.

#include <QPainter>
#include <QPixmap>
#include <vector>

#include "app/resources/PixelArt.h"

namespace velmo {

class ImageList {
public:
    ImageList() = default;
    // Cuts bitmap into pictures of imageWidth; pixels of maskColour (0xRRGGBB) become clear.
    ImageList(const Bitmap& bitmap, int imageWidth, std::uint32_t maskColour);

    int Count() const { return static_cast<int>(images_.size()); }
    QSize ImageSize() const { return size_; }
    // Draws picture index with its top left at (x, y); an index outside the list draws nothing.
    void Draw(QPainter& painter, int index, int x, int y) const;
    const QPixmap& Image(int index) const { return images_[static_cast<std::size_t>(index)]; }

private:
    std::vector<QPixmap> images_;
    QSize size_;
};

}  // namespace velmo
