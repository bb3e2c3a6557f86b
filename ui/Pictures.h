#pragma once
// The pictures built into the program: the ten status pictures of the watch list, the tool-button
// pictures, the program icon and the about box's picture.

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

inline constexpr int kStatusPictureCount = 10;
inline constexpr int kStatusPictureSize = 16;

// The strip "SmallImages" cut into its ten 16×16 pictures, its olive background made transparent.
std::array<QPixmap, kStatusPictureCount> loadStatusPictures();

// A 40×40 tool-button picture by role: "add", "edit", "delete", "run", "help" or "exit".
QIcon toolPicture(const QString& role);

// The program icon in every size the picture generator draws: the window, the tray and the help window
// show it, and the about box shows its drawing large.
QIcon programIcon();

inline constexpr int kAboutPictureWidth = 351;
inline constexpr int kAboutPictureHeight = 208;

// The picture across the top of the about box.
QPixmap aboutPicture();
