#include "ui/Pictures.h"

#include <QColor>
#include <QImage>

// Qt leaves out the registration of a static library's resources unless someone asks for it.
static void initPictures() {
    static const bool done = [] {
        Q_INIT_RESOURCE(Tessel);
        return true;
    }();
    (void)done;
}

std::array<QPixmap, kStatusPictureCount> loadStatusPictures() {
    initPictures();
    std::array<QPixmap, kStatusPictureCount> pictures;
    QImage strip(QStringLiteral(":/SmallImages.png"));
    if (strip.isNull()) return pictures;
    strip = strip.convertToFormat(QImage::Format_ARGB32);
    // The strip marks its background with olive, the way image lists of the time did.
    const QRgb olive = qRgb(128, 128, 0);
    for (int y = 0; y < strip.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
        for (int x = 0; x < strip.width(); ++x) {
            if ((line[x] & 0x00ffffff) == (olive & 0x00ffffff)) line[x] = qRgba(0, 0, 0, 0);
        }
    }
    for (int i = 0; i < kStatusPictureCount; ++i) {
        pictures[static_cast<std::size_t>(i)] =
            QPixmap::fromImage(strip.copy(i * kStatusPictureSize, 0, kStatusPictureSize, kStatusPictureSize));
    }
    return pictures;
}

QIcon toolPicture(const QString& role) {
    initPictures();
    return QIcon(QStringLiteral(":/tool-%1.png").arg(role));
}

QIcon programIcon() {
    initPictures();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/Tessel-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap aboutPicture() {
    initPictures();
    return QPixmap(QStringLiteral(":/About.png"));
}
