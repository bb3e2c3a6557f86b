#pragma once
// Numbers, sizes and rates as the window shows them everywhere (the status bar, the preview, restore):
// sizes in B, KB, MB, GB and TB (powers of 1000, as file managers count), with the decimal sign and the
// group separators of the user's locale and the units in the window's language.

#include <QLocale>
#include <QString>
#include <cstdint>

#include "ui/RunTexts.h"

// "1.2 GB", "345 MB", "512 B"; in Russian "1,2 ГБ".
QString sizeText(std::uint64_t bytes, const QLocale& locale = shownLocale());
// "12.5 MB/s".
QString bytesPerSecondText(double bytesPerSecond, const QLocale& locale = shownLocale());
