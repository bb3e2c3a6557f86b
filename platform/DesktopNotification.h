#pragma once
// A notice on the desktop of the user's session: the desktop's notification service
// (org.freedesktop.Notifications on the session bus, as freedesktop.org defines it), which every Linux
// desktop runs.
// Spoken to through sd-bus (libsystemd); tessel-batch alone links it, the window has its tray icon.

#include <chrono>
#include <string>
#include <system_error>

namespace tessel::platform {

struct DesktopNotification {
    std::string appName;       // "Tessel"
    std::string icon;          // an icon name of the theme, or empty
    std::string desktopEntry;  // the desktop entry the notice belongs to, without ".desktop", or empty
    std::string title;
    std::string body;  // plain text; escaped where the service reads markup
};

// Sends `notification` to the session bus of $DBUS_SESSION_BUS_ADDRESS (or $XDG_RUNTIME_DIR/bus) and
// waits for the service's answer, at most `timeout`. False with the reason when there is no session bus,
// no notification service on it, or it did not answer in time. Text that is not UTF-8 (which the bus
// refuses) has each bad byte replaced with U+FFFD.
bool sendDesktopNotification(const DesktopNotification& notification, std::chrono::milliseconds timeout,
                             std::error_code& error);

}  // namespace tessel::platform
