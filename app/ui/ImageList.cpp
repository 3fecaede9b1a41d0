#include "app/ui/ImageList.h"

#include <QImage>

namespace velmo {

ImageList::ImageList(const Bitmap& bitmap, int imageWidth, std::uint32_t maskColour) {
    if (imageWidth <= 0 || bitmap.width < imageWidth) return;
    size_ = QSize(imageWidth, bitmap.height);
    for (int left = 0; left + imageWidth <= bitmap.width; left += imageWidth) {
        QImage image(imageWidth, bitmap.height, QImage::Format_ARGB32);
        for (int y = 0; y < bitmap.height; ++y) {
            for (int x = 0; x < imageWidth; ++x) {
                std::uint32_t colour = bitmap.At(left + x, y);
                image.setPixel(x, y, colour == maskColour ? 0u : (0xFF000000u | colour));
            }
        }
        images_.push_back(QPixmap::fromImage(image));
    }
}

void ImageList::Draw(QPainter& painter, int index, int x, int y) const {
    if (index < 0 || index >= Count()) return;
    painter.drawPixmap(x, y, Image(index));
}

}  // namespace velmo
