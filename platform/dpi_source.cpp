#include "platform/dpi_source.h"

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/x11.h"
#include "utils/vl_env.h"
#include "utils/vl_log.h"

namespace vl::platform {

namespace {

std::atomic<std::uint32_t> g_lastDpi{0};

// The RESOURCE_MANAGER property of the root window, or empty.
std::string ReadXResources() {
    x11::Display x;
    if (!x11::QtDisplay(&x)) {
        return {};
    }
    const xcb_get_property_cookie_t cookie = xcb_get_property(
        x.connection, 0, x.root, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1u << 16);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(x.connection, cookie, nullptr), &std::free);
    if (!reply || reply->format != 8) {
        return {};
    }
    const auto* data = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(data, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// Says so once per pair of values: the DPI is read on every capture.
void WarnWhenXftDpiDisagrees(std::uint32_t dpi, double ratio) {
    static std::uint64_t warned = 0;
    const std::uint32_t xft = ParseXftDpi(ReadXResources());
    const std::uint64_t pair = (std::uint64_t{xft} << 32) | dpi;
    if (xft == 0 || xft == dpi || pair == warned) {
        return;
    }
    warned = pair;
    VL_WARN("Xft.dpi is {} but windows are painted at device pixel ratio {}, using {} dpi", xft,
            ratio, dpi);
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

double DevicePixelRatio() {
    const QScreen* screen = qGuiApp != nullptr ? QGuiApplication::primaryScreen() : nullptr;
    const double ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    return ratio > 0.0 ? ratio : 1.0;
}

std::uint32_t QueryDpi() {
    if (qGuiApp == nullptr || QThread::currentThread() != qGuiApp->thread()) {
        const std::uint32_t last = g_lastDpi;
        return last != 0 ? last : 96;
    }
    const double ratio = DevicePixelRatio();
    const auto dpi = static_cast<std::uint32_t>(std::max(1L, std::lround(ratio * 96.0)));
    WarnWhenXftDpiDisagrees(dpi, ratio);
    g_lastDpi = dpi;
    return dpi;
}

void InstallDpiSource() {
    QueryDpi();  // other threads see the screen's value from the start
    vl::SetDpiSource(&QueryDpi);
}

void UninstallDpiSource() {
    vl::SetDpiSource(nullptr);
}

}  // namespace vl::platform
