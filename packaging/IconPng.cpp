// Writes the program's icon, drawn as pixel art in app/resources, as a PNG file for the
// desktop's icon theme: velmo-icon SIZE FILE, each pixel of the art a square of SIZE / 32.

#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/resources/AppIcon.h"

int main(int argc, char** argv) {
    velmo::Bitmap icon = velmo::AppIcon();
    int size = argc == 3 ? std::atoi(argv[1]) : 0;
    if (icon.width == 0 || size <= 0 || size % icon.width != 0 || icon.width != icon.height) {
        std::fprintf(stderr, "usage: velmo-icon SIZE FILE.png (SIZE a multiple of %d)\n", icon.width);
        return 2;
    }
    int scale = size / icon.width;
    QImage image(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            std::uint32_t colour = icon.At(x / scale, y / scale);
            // The mask colour is what the handheld leaves out around the picture.
            image.setPixel(x, y, colour == velmo::kMaskColour ? 0u : 0xFF000000u | colour);
        }
    }
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "velmo-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
