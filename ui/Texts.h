#pragma once
// Texts cross between the window and the core here. The core keeps bytes in the system's encoding
// (UTF-8 on Linux), and its record fields limit them by bytes, not characters.

#include <QString>
#include <string>

inline std::string toBytes(const QString& text) {
    return text.toLocal8Bit().toStdString();
}
inline QString fromBytes(const std::string& bytes) {
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
