#pragma once
// Texts cross between the window and the core here. The core keeps bytes in the system's encoding
// (UTF-8 on Linux), and its record fields limit them by bytes, not characters.

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>

inline std::string toBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
inline QString fromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// "512 B", "1.2 MB": the locale's own units from a thousand bytes on; below, a unit of Tessel's, since the
// locale's word for bytes does not agree with every number ("1 bytes").
inline QString sizeText(std::uint64_t bytes) {
    const QLocale locale;
    if (bytes < 1000)
        return QCoreApplication::translate("Texts", "%1 B")
            .arg(locale.toString(static_cast<qulonglong>(bytes)));
    return locale.formattedDataSize(static_cast<qint64>(bytes), 1, QLocale::DataSizeSIFormat);
}
