#pragma once
// What the main window remembers between starts: where it was and how large, whether it filled the
// screen, the widths of the list's columns, the column the list is sorted by, the selected watch and the
// height of the log. It is kept in section [Window] of the Tessel.ini the window was started with, beside
// the settings of section [Main]: Tessel keeps everything of one folder's set in that folder, and a
// second Tessel started elsewhere keeps its own window. The window writes the section when it closes;
// tessel-batch never reads or writes it.

#include <QMargins>
#include <QRect>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

inline constexpr char kWindowSection[] = "Window";

struct WindowState {
    // The window's inside (without the window manager's frame) in device-independent pixels, as it is
    // when neither maximised nor minimised.
    std::optional<QRect> geometry;
    bool maximized = false;
    // The widths of the list's columns that the user sizes, from the left; empty when none were kept.
    std::vector<int> columnWidths;
    std::optional<int> sortColumn;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    // The selected watch's position in the watch file the settings name; -1 for none.
    int selectedWatch = -1;
    std::optional<int> logHeight;

    bool operator==(const WindowState&) const = default;
};

// Section [Window] of the settings file at `path`. Missing or unreadable values are left out (each on
// its own), so that a damaged key costs only what it held.
WindowState readWindowState(const std::string& path);

// Stores `state` in section [Window] of the settings file at `path`, in one replacement of the file that
// leaves every other line as it was. A missing file stays missing, and a read-only one is not replaced:
// false, with the reason, and nothing changed.
bool writeWindowState(const std::string& path, const WindowState& state, std::error_code& error);

// Where a window whose inside is `inside` and whose frame adds `frame` around it goes so that the frame
// lies wholly within `available`: as large as it was where that fits, else as large as fits, and moved
// no further than needed.
QRect placeInside(const QRect& inside, const QMargins& frame, const QRect& available);
