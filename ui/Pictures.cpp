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

std::array<QPixmap, kStatusPictureCount> loadStatusPictures(int scale) {
    initPictures();
    std::array<QPixmap, kStatusPictureCount> pictures;
    QImage strip(scale == 2 ? QStringLiteral(":/SmallImages@2x.png") : QStringLiteral(":/SmallImages.png"));
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
    const int size = kStatusPictureSize * scale;
    for (int i = 0; i < kStatusPictureCount; ++i) {
        QPixmap picture = QPixmap::fromImage(strip.copy(i * size, 0, size, size));
        picture.setDevicePixelRatio(scale);
        pictures[static_cast<std::size_t>(i)] = picture;
    }
    return pictures;
}

std::array<QIcon, kStatusPictureCount> statusIcons() {
    std::array<QIcon, kStatusPictureCount> icons;
    for (int scale : {1, 2}) {
        const auto pictures = loadStatusPictures(scale);
        for (std::size_t i = 0; i < icons.size(); ++i) icons[i].addPixmap(pictures[i]);
    }
    return icons;
}

QIcon toolPicture(const QString& role) {
    initPictures();
    QIcon icon;
    icon.addFile(QStringLiteral(":/tool-%1.png").arg(role), QSize(40, 40));
    icon.addFile(QStringLiteral(":/tool-%1@2x.png").arg(role), QSize(80, 80));
    return icon;
}

QIcon programIcon() {
    initPictures();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/Tessel-%1.png").arg(size), QSize(size, size));
    return icon;
}

QPixmap aboutPicture(qreal pixelRatio) {
    initPictures();
    if (pixelRatio <= 1) return QPixmap(QStringLiteral(":/About.png"));
    QPixmap picture(QStringLiteral(":/About@2x.png"));
    picture.setDevicePixelRatio(2);
    return picture;
}
