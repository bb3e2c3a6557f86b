#include "ui/Sizes.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>

#include "watch/RunProgress.h"

QString sizeText(std::uint64_t bytes, const QLocale& locale) {
    const tessel::SizeParts parts = tessel::sizeParts(bytes);
    const QString number = locale.toString(parts.value, 'f', parts.decimals);
    switch (parts.unit) {
        case tessel::SizeParts::Unit::Bytes:
            //: A size below a kilobyte: "512 B".
            return QCoreApplication::translate("Sizes", "%1 B").arg(number);
        case tessel::SizeParts::Unit::Kilo:
            return QCoreApplication::translate("Sizes", "%1 KB").arg(number);
        case tessel::SizeParts::Unit::Mega:
            return QCoreApplication::translate("Sizes", "%1 MB").arg(number);
        case tessel::SizeParts::Unit::Giga:
            return QCoreApplication::translate("Sizes", "%1 GB").arg(number);
        case tessel::SizeParts::Unit::Tera:
            break;
    }
    return QCoreApplication::translate("Sizes", "%1 TB").arg(number);
}

QString bytesPerSecondText(double bytesPerSecond, const QLocale& locale) {
    const auto bytes = static_cast<std::uint64_t>(std::llround(std::max(bytesPerSecond, 0.0)));
    //: A rate: the size copied in a second, "12.5 MB/s".
    return QCoreApplication::translate("Sizes", "%1/s").arg(sizeText(bytes, locale));
}
