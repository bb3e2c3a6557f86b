#pragma once
// The pictures built into the program: the status pictures of the watch list, the tool-button pictures,
// the program icon and the about box's picture. Each is also drawn at twice its size, for
// screens with two device pixels to a pixel, so that it stays sharp there.

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

// The status pictures: first the ten of what a watch is set to do (its run mode and period, numbered as
// the engine numbers them), then the one of a watch that is running now, and the one of a watch whose
// last run failed or met a conflict, which it shows instead of its own until its next clean run. The
// engine marks a running watch with the 10-minute timer's picture; the window shows its own instead, so
// that the two differ.
inline constexpr int kWatchTypePictureCount = 10;
inline constexpr int kRunningWatchPicture = 10;
inline constexpr int kAttentionPicture = 11;
inline constexpr int kStatusPictureCount = 12;
inline constexpr int kStatusPictureSize = 16;

// The strip "SmallImages" cut into its 16×16 pictures, its olive background made transparent; at
// `scale` 2 the strip drawn for two device pixels to a pixel.
std::array<QPixmap, kStatusPictureCount> loadStatusPictures(int scale = 1);
// The status pictures at both sizes, for the list to choose from by the screen's pixel ratio.
std::array<QIcon, kStatusPictureCount> statusIcons();

// A 40×40 tool-button picture by role: "add", "edit", "delete", "run", "preview", "stop", "help" or
// "exit".
QIcon toolPicture(const QString& role);

// The program icon in every size the picture generator draws: the window, the tray and the help window
// show it, and the about box shows its drawing large.
QIcon programIcon();

inline constexpr int kAboutPictureWidth = 351;
inline constexpr int kAboutPictureHeight = 208;

// The picture across the top of the about box, for a screen of the given device pixel ratio.
QPixmap aboutPicture(qreal pixelRatio = 1);
