#include "ui/WindowState.h"

#include <QString>
#include <QStringList>
#include <algorithm>

#include "platform/FileIo.h"
#include "platform/Profile.h"

using tessel::platform::Profile;

namespace {

constexpr char kLeftKey[] = "Left";
constexpr char kTopKey[] = "Top";
constexpr char kWidthKey[] = "Width";
constexpr char kHeightKey[] = "Height";
constexpr char kMaximizedKey[] = "Maximized";
constexpr char kColumnsKey[] = "Columns";
constexpr char kSortColumnKey[] = "SortColumn";
constexpr char kSortOrderKey[] = "SortOrder";
constexpr char kSelectedWatchKey[] = "SelectedWatch";
constexpr char kLogHeightKey[] = "LogHeight";

constexpr char kAscending[] = "Ascending";
constexpr char kDescending[] = "Descending";

// Larger than any screen, so that a damaged value cannot make a window nobody can handle.
constexpr int kLargest = 100000;

std::optional<int> numberOf(const std::optional<std::string>& text, int lowest, int highest) {
    if (!text) return std::nullopt;
    bool isNumber = false;
    const int value = QString::fromStdString(*text).trimmed().toInt(&isNumber);
    if (!isNumber || value < lowest || value > highest) return std::nullopt;
    return value;
}

std::string text(int number) {
    return std::to_string(number);
}

}  // namespace

WindowState readWindowState(const std::string& path) {
    WindowState state;
    Profile profile;
    std::error_code error;
    if (!tessel::platform::loadProfile(path, profile, error)) return state;
    const auto value = [&](const char* key) { return profile.value(kWindowSection, key); };

    const auto left = numberOf(value(kLeftKey), -kLargest, kLargest);
    const auto top = numberOf(value(kTopKey), -kLargest, kLargest);
    const auto width = numberOf(value(kWidthKey), 1, kLargest);
    const auto height = numberOf(value(kHeightKey), 1, kLargest);
    if (left && top && width && height) state.geometry = QRect(*left, *top, *width, *height);
    state.maximized = numberOf(value(kMaximizedKey), 0, 1) == 1;

    if (const auto columns = value(kColumnsKey)) {
        for (const QString& part : QString::fromStdString(*columns).split(QLatin1Char(','))) {
            const auto width = numberOf(part.toStdString(), 0, kLargest);
            // One bad width would shift every later one into the wrong column.
            if (!width) {
                state.columnWidths.clear();
                break;
            }
            state.columnWidths.push_back(*width);
        }
    }
    state.sortColumn = numberOf(value(kSortColumnKey), 0, kLargest);
    if (value(kSortOrderKey) == kDescending) state.sortOrder = Qt::DescendingOrder;
    state.selectedWatch = numberOf(value(kSelectedWatchKey), -1, kLargest).value_or(-1);
    state.logHeight = numberOf(value(kLogHeightKey), 1, kLargest);
    return state;
}

bool writeWindowState(const std::string& path, const WindowState& state, std::error_code& error) {
    Profile profile;
    // Missing, the file stays missing: only a start that made or found it decides where it lives.
    if (!tessel::platform::loadProfile(path, profile, error)) return false;
    {
        // Renaming over a file that its owner made read-only would replace it all the same.
        tessel::platform::File probe;
        if (!probe.open(path, tessel::platform::File::Mode::ReadWrite, error) || !probe.close(error))
            return false;
    }
    const auto set = [&](const char* key, const std::string& value) {
        profile.setValue(kWindowSection, key, value);
    };
    if (state.geometry) {
        set(kLeftKey, text(state.geometry->x()));
        set(kTopKey, text(state.geometry->y()));
        set(kWidthKey, text(state.geometry->width()));
        set(kHeightKey, text(state.geometry->height()));
    }
    set(kMaximizedKey, state.maximized ? "1" : "0");
    if (!state.columnWidths.empty()) {
        QStringList widths;
        for (const int width : state.columnWidths) widths.append(QString::number(width));
        set(kColumnsKey, widths.join(QLatin1Char(',')).toStdString());
    }
    if (state.sortColumn) {
        set(kSortColumnKey, text(*state.sortColumn));
        set(kSortOrderKey, state.sortOrder == Qt::DescendingOrder ? kDescending : kAscending);
    }
    set(kSelectedWatchKey, text(state.selectedWatch));
    if (state.logHeight) set(kLogHeightKey, text(*state.logHeight));

    const std::string content = profile.text();
    return tessel::platform::replaceFile(
        path,
        [&](tessel::platform::File& file, std::error_code& writeError) {
            return file.writeAt(0, content.data(), content.size(), writeError);
        },
        error);
}

QRect placeInside(const QRect& inside, const QMargins& frame, const QRect& available) {
    // The room the inside has once the frame is around it.
    const QRect room = available.marginsRemoved(frame);
    QRect placed(inside.topLeft(), inside.size().boundedTo(room.size().expandedTo(QSize(1, 1))));
    placed.moveLeft(
        std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() + 1 - placed.width())));
    placed.moveTop(
        std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() + 1 - placed.height())));
    return placed;
}
