#include "ui/skin/dpi_source.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "utils/vl_env.h"

namespace skin {

namespace {

std::atomic<std::uint32_t> g_lastDpi{0};

// The RESOURCE_MANAGER property of the first screen's root window, or empty.
std::string ReadXResources() {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return {};
    }
    const xcb_setup_t* setup = xcb_get_setup(connection);
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
    if (screens.rem == 0 || screens.data == nullptr) {
        return {};
    }
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        connection, 0, screens.data->root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1u << 16);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 8) {
        return {};
    }
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

}  // namespace

std::uint32_t ParseXftDpi(std::string_view resources) {
    std::size_t pos = 0;
    while (pos < resources.size()) {
        std::size_t end = resources.find('\n', pos);
        if (end == std::string_view::npos)
            end = resources.size();
        std::string_view line = resources.substr(pos, end - pos);
        pos = end + 1;
        constexpr std::string_view key = "Xft.dpi:";
        if (line.substr(0, key.size()) != key) {
            continue;
        }
        const std::string value(line.substr(key.size()));
        char* rest = nullptr;
        const double dpi = std::strtod(value.c_str(), &rest);
        while (rest != nullptr && (*rest == ' ' || *rest == '\t' || *rest == '\r'))
            ++rest;
        if (rest == value.c_str() || (rest != nullptr && *rest != '\0') || !(dpi >= 1.0) ||
            dpi > 10000.0) {
            return 0;
        }
        return static_cast<std::uint32_t>(std::lround(dpi));
    }
    return 0;
}

std::uint32_t QueryDpi() {
    if (qGuiApp == nullptr || QThread::currentThread() != qGuiApp->thread()) {
        const std::uint32_t last = g_lastDpi;
        return last != 0 ? last : 96;
    }
    std::uint32_t dpi = ParseXftDpi(ReadXResources());
    if (dpi == 0) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            dpi = static_cast<std::uint32_t>(std::lround(screen->devicePixelRatio() * 96.0));
        }
    }
    if (dpi == 0) {
        dpi = 96;
    }
    g_lastDpi = dpi;
    return dpi;
}

void InstallDpiSource() {
    vl::SetDpiSource(&QueryDpi);
}

void UninstallDpiSource() {
    vl::SetDpiSource(nullptr);
}

}  // namespace skin
