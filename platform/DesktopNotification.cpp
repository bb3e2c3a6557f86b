#include "platform/DesktopNotification.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace tessel::platform {

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kObject = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusClose>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

bool failed(int result, std::error_code& error) {
    error.assign(-result, std::generic_category());
    return false;
}

// The bus takes UTF-8 only; a file name from an older system must not cost the whole notice.
std::string validUtf8(std::string_view text) {
    std::string valid;
    valid.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = byte < 0x80           ? 1
                             : (byte >> 5) == 0x6  ? 2
                             : (byte >> 4) == 0xE  ? 3
                             : (byte >> 3) == 0x1E ? 4
                                                   : 0;
        std::uint32_t point = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        bool sound = length > 0 && i + length <= text.size() && byte != 0;
        for (std::size_t k = 1; sound && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            sound = (next & 0xC0) == 0x80;
            point = (point << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and points beyond Unicode are not UTF-8 either.
        if (sound && length > 1)
            sound = point >= (length == 2   ? 0x80u
                              : length == 3 ? 0x800u
                                            : 0x10000u) &&
                    point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
        if (!sound) {
            valid += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        valid.append(text.substr(i, length));
        i += length;
    }
    return valid;
}

// The service reads the body as a small subset of HTML when it says "body-markup".
std::string escapedMarkup(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '&')
            escaped += "&amp;";
        else if (c == '<')
            escaped += "&lt;";
        else if (c == '>')
            escaped += "&gt;";
        else
            escaped += c;
    }
    return escaped;
}

// Whether the service reads markup in the body; false when it does not say.
bool readsMarkup(sd_bus* bus, std::uint64_t timeout) {
    sd_bus_message* made = nullptr;
    if (sd_bus_message_new_method_call(bus, &made, kService, kObject, kInterface, "GetCapabilities") < 0)
        return false;
    const Message call(made);
    sd_bus_message* answer = nullptr;
    sd_bus_error busError = SD_BUS_ERROR_NULL;
    const int called = sd_bus_call(bus, call.get(), timeout, &busError, &answer);
    sd_bus_error_free(&busError);
    if (called < 0) return false;
    const Message reply(answer);
    if (sd_bus_message_enter_container(reply.get(), 'a', "s") < 0) return false;
    const char* capability = nullptr;
    while (sd_bus_message_read(reply.get(), "s", &capability) > 0)
        if (std::string_view(capability) == "body-markup") return true;
    return false;
}

}  // namespace

bool sendDesktopNotification(const DesktopNotification& notification, std::chrono::milliseconds timeout,
                             std::error_code& error) {
    sd_bus* opened = nullptr;
    if (const int result = sd_bus_open_user(&opened); result < 0) return failed(result, error);
    const Bus bus(opened);
    const auto microseconds = static_cast<std::uint64_t>(timeout.count()) * 1000;
    const std::string body =
        readsMarkup(bus.get(), microseconds) ? escapedMarkup(notification.body) : notification.body;

    sd_bus_message* made = nullptr;
    int result = sd_bus_message_new_method_call(bus.get(), &made, kService, kObject, kInterface, "Notify");
    if (result < 0) return failed(result, error);
    const Message call(made);
    // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout)
    result = sd_bus_message_append(call.get(), "susss", validUtf8(notification.appName).c_str(), 0u,
                                   validUtf8(notification.icon).c_str(),
                                   validUtf8(notification.title).c_str(), validUtf8(body).c_str());
    if (result >= 0) result = sd_bus_message_append(call.get(), "as", 0);
    if (result >= 0) result = sd_bus_message_open_container(call.get(), 'a', "{sv}");
    // Normal urgency; the desktop entry lets the desktop show Tessel's name and icon with it.
    if (result >= 0) result = sd_bus_message_append(call.get(), "{sv}", "urgency", "y", std::uint8_t{1});
    if (result >= 0 && !notification.desktopEntry.empty())
        result = sd_bus_message_append(call.get(), "{sv}", "desktop-entry", "s",
                                       validUtf8(notification.desktopEntry).c_str());
    if (result >= 0) result = sd_bus_message_close_container(call.get());
    if (result >= 0) result = sd_bus_message_append(call.get(), "i", -1);
    if (result < 0) return failed(result, error);

    sd_bus_message* answer = nullptr;
    sd_bus_error busError = SD_BUS_ERROR_NULL;
    result = sd_bus_call(bus.get(), call.get(), microseconds, &busError, &answer);
    if (result < 0) {
        sd_bus_error_free(&busError);
        return failed(result, error);
    }
    sd_bus_message_unref(answer);
    return true;
}

}  // namespace tessel::platform
