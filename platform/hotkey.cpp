#include "platform/hotkey.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/x11.h"
#include "utils/vl_log.h"

namespace vl::platform {

namespace {

constexpr UINT kModifierKeys = MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN;
constexpr xcb_keysym_t kNumLock = 0xff7f;
constexpr xcb_keysym_t kAltL = 0xffe9;
constexpr xcb_keysym_t kSuperL = 0xffeb;
constexpr int kPollMs = 50;

thread_local std::uint32_t t_lastError = 0;

bool Fail(std::uint32_t error) {
    t_lastError = error;
    return false;
}

// Latin letters and digits: the key symbol of the unshifted key.
xcb_keysym_t KeySymOfVirtualKey(UINT vk) {
    if (vk >= 'A' && vk <= 'Z')
        return 'a' + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return vk;
    return 0;
}

struct KeySymbols {
    explicit KeySymbols(xcb_connection_t* c) : syms(xcb_key_symbols_alloc(c)) {}
    ~KeySymbols() { xcb_key_symbols_free(syms); }
    KeySymbols(const KeySymbols&) = delete;
    KeySymbols& operator=(const KeySymbols&) = delete;
    std::vector<xcb_keycode_t> KeyCodes(xcb_keysym_t sym) const {
        std::vector<xcb_keycode_t> out;
        std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
            syms != nullptr ? xcb_key_symbols_get_keycode(syms, sym) : nullptr, &std::free);
        for (const xcb_keycode_t* k = codes.get(); k != nullptr && *k != XCB_NO_SYMBOL; ++k)
            out.push_back(*k);
        return out;
    }
    xcb_key_symbols_t* syms;
};

// The modifier bits the server uses for NumLock, Alt and the Windows key (usually Mod2, Mod1 and
// Mod4, but keyboard maps may differ).
struct ModifierBits {
    std::uint16_t numLock = XCB_MOD_MASK_2;
    std::uint16_t alt = XCB_MOD_MASK_1;
    std::uint16_t super = XCB_MOD_MASK_4;
};

ModifierBits ReadModifierBits(xcb_connection_t* c, const KeySymbols& symbols) {
    ModifierBits bits;
    std::unique_ptr<xcb_get_modifier_mapping_reply_t, decltype(&std::free)> reply(
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
    if (!reply) {
        return bits;
    }
    const xcb_keycode_t* map = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    auto bitOf = [&](xcb_keysym_t sym, std::uint16_t fallback) -> std::uint16_t {
        for (xcb_keycode_t code : symbols.KeyCodes(sym)) {
            for (int mod = 0; mod < 8; ++mod) {
                for (int i = 0; i < perModifier; ++i) {
                    if (map[mod * perModifier + i] == code)
                        return static_cast<std::uint16_t>(1u << mod);
                }
            }
        }
        return fallback;
    };
    bits.numLock = bitOf(kNumLock, bits.numLock);
    bits.alt = bitOf(kAltL, bits.alt);
    bits.super = bitOf(kSuperL, bits.super);
    return bits;
}

struct Registration {
    HWND hwnd = nullptr;
    UINT modifiers = 0;  // as registered
    UINT vk = 0;
    std::uint16_t mask = 0;     // X modifier state without the lock bits
    std::uint16_t numLock = 0;  // the server's NumLock bit
    std::vector<xcb_keycode_t> keyCodes;
    bool down = false;     // pressed and not yet released (MOD_NOREPEAT)
    bool watched = false;  // its release may go elsewhere: the key state is polled instead
};

// A combination regardless of MOD_NOREPEAT.
std::uint32_t Combination(UINT modifiers, UINT vk) {
    return ((modifiers & kModifierKeys) << 16) | (vk & 0xFFFF);
}

class HotKeys final : public QAbstractNativeEventFilter {
public:
    static HotKeys& Instance() {
        static HotKeys hotkeys;
        return hotkeys;
    }

    bool Register(HWND hwnd, int id, UINT modifiers, UINT vk);
    bool Unregister(HWND hwnd, int id);
    void ReleaseWindow(HWND hwnd);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override;

private:
    void Ungrab(const Registration& r);
    void DropDeadWindows();
    // Until the keys of the watched presses are up, asks the server every kPollMs.
    void PollHeldKeys();

    std::map<int, Registration> registered_;
    std::set<std::uint32_t> refused_;  // combinations another client holds
    bool filtering_ = false;
    bool polling_ = false;
};

// The modifier states a grab covers: with and without CapsLock and NumLock.
std::vector<std::uint16_t> GrabbedStates(const Registration& r) {
    const std::uint16_t caps = XCB_MOD_MASK_LOCK;
    return {r.mask, std::uint16_t(r.mask | caps), std::uint16_t(r.mask | r.numLock),
            std::uint16_t(r.mask | caps | r.numLock)};
}

void HotKeys::Ungrab(const Registration& r) {
    x11::Display x;
    if (x11::QtDisplay(&x)) {
        for (xcb_keycode_t code : r.keyCodes) {
            for (std::uint16_t state : GrabbedStates(r))
                xcb_ungrab_key(x.connection, code, x.root, state);
        }
        xcb_flush(x.connection);
    }
}

void HotKeys::DropDeadWindows() {
    for (auto it = registered_.begin(); it != registered_.end();) {
        if (!vl::IsWindow(it->second.hwnd)) {
            Ungrab(it->second);
            it = registered_.erase(it);
        } else {
            ++it;
        }
    }
}

bool HotKeys::Register(HWND hwnd, int id, UINT modifiers, UINT vk) {
    if (!vl::IsWindow(hwnd)) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE);
    }
    const xcb_keysym_t sym = KeySymOfVirtualKey(vk);
    if (sym == 0 || (modifiers & ~(kModifierKeys | MOD_NOREPEAT)) != 0) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    DropDeadWindows();
    if (registered_.count(id) != 0) {
        return Fail(ERROR_HOTKEY_ALREADY_REGISTERED);
    }
    const std::uint32_t combination = Combination(modifiers, vk);
    for (const auto& [otherId, r] : registered_) {
        if (Combination(r.modifiers, r.vk) == combination)
            return Fail(ERROR_HOTKEY_ALREADY_REGISTERED);
    }
    if (refused_.count(combination) != 0) {
        return Fail(ERROR_HOTKEY_ALREADY_REGISTERED);
    }
    x11::Display x;
    if (!x11::QtDisplay(&x)) {
        return Fail(ERROR_NOT_SUPPORTED);
    }

    const KeySymbols symbols(x.connection);
    const ModifierBits bits = ReadModifierBits(x.connection, symbols);
    Registration r;
    r.hwnd = hwnd;
    r.modifiers = modifiers;
    r.vk = vk;
    r.keyCodes = symbols.KeyCodes(sym);
    if (r.keyCodes.empty()) {
        VL_WARN("no key of this keyboard produces virtual key {:#x}", vk);
        return Fail(ERROR_INVALID_PARAMETER);
    }
    r.mask = ((modifiers & MOD_ALT) != 0 ? bits.alt : 0) |
             ((modifiers & MOD_CONTROL) != 0 ? XCB_MOD_MASK_CONTROL : 0) |
             ((modifiers & MOD_SHIFT) != 0 ? XCB_MOD_MASK_SHIFT : 0) |
             ((modifiers & MOD_WIN) != 0 ? bits.super : 0);
    r.numLock = bits.numLock;

    // owner_events false: the press reaches the root window even while one of our own windows
    // has the focus.
    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_keycode_t code : r.keyCodes) {
        for (std::uint16_t state : GrabbedStates(r)) {
            cookies.push_back(xcb_grab_key_checked(x.connection, 0, x.root, state, code,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    std::uint8_t failure = 0;
    for (const xcb_void_cookie_t cookie : cookies) {
        std::unique_ptr<xcb_generic_error_t, decltype(&std::free)> error(
            xcb_request_check(x.connection, cookie), &std::free);
        if (error && failure != XCB_ACCESS) {
            failure = error->error_code;
        }
    }
    if (failure != 0) {
        Ungrab(r);  // only our own grabs among them are released
        if (failure == XCB_ACCESS) {
            refused_.insert(combination);
            return Fail(ERROR_HOTKEY_ALREADY_REGISTERED);
        }
        VL_WARN("grabbing virtual key {:#x} failed, X error {}", vk, failure);
        return Fail(ERROR_INVALID_PARAMETER);
    }
    registered_.emplace(id, std::move(r));
    if (!filtering_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
        filtering_ = true;
    }
    t_lastError = 0;
    return true;
}

bool HotKeys::Unregister(HWND hwnd, int id) {
    const auto it = registered_.find(id);
    if (it == registered_.end() || it->second.hwnd != hwnd) {
        return Fail(ERROR_HOTKEY_NOT_REGISTERED);
    }
    Ungrab(it->second);
    registered_.erase(it);
    t_lastError = 0;
    return true;
}

void HotKeys::ReleaseWindow(HWND hwnd) {
    for (auto it = registered_.begin(); it != registered_.end();) {
        if (it->second.hwnd == hwnd) {
            Ungrab(it->second);
            it = registered_.erase(it);
        } else {
            ++it;
        }
    }
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || registered_.empty()) {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const std::uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) {
        return false;
    }
    // Grabs on the root do not fire while one of our windows holds the keyboard (a full-screen
    // overlay): the press goes to that window instead, and it is still the hotkey.
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    for (auto& [id, r] : registered_) {
        if (std::find(r.keyCodes.begin(), r.keyCodes.end(), key->detail) == r.keyCodes.end()) {
            continue;
        }
        // The modifiers may go up before the key does: any release of the key ends the press.
        if (type == XCB_KEY_RELEASE) {
            if (std::exchange(r.down, false))
                return true;
            continue;
        }
        if ((key->state & ~(XCB_MOD_MASK_LOCK | r.numLock) & 0xFF) != r.mask) {
            continue;
        }
        if (!r.down || (r.modifiers & MOD_NOREPEAT) == 0) {
            r.down = true;
            // Usually the press comes through the grab on the root window, which then holds the
            // keyboard until the key is released, so the release comes here too. While one of our
            // windows holds the keyboard (an overlay), the press goes to that window instead, and
            // its release goes wherever the focus is once that window lets the keyboard go.
            x11::Display x;
            r.watched = x11::QtDisplay(&x) && key->event != x.root;
            if (r.watched && !std::exchange(polling_, true))
                QTimer::singleShot(kPollMs, [this] { PollHeldKeys(); });
            const auto lParam = static_cast<LPARAM>((r.vk << 16) | (r.modifiers & 0xFFFF));
            vl::PostMessage(r.hwnd, WM_HOTKEY, static_cast<WPARAM>(id), lParam);
        }
        return true;
    }
    return false;
}

void HotKeys::PollHeldKeys() {
    x11::Display x;
    std::unique_ptr<xcb_query_keymap_reply_t, decltype(&std::free)> keymap(
        x11::QtDisplay(&x)
            ? xcb_query_keymap_reply(x.connection, xcb_query_keymap(x.connection), nullptr)
            : nullptr,
        &std::free);
    bool held = false;
    for (auto& [id, r] : registered_) {
        if (!r.watched) {
            continue;
        }
        const bool up = !keymap || std::none_of(r.keyCodes.begin(), r.keyCodes.end(), [&](auto c) {
            return (keymap->keys[c / 8] >> (c % 8)) & 1;
        });
        if (up || !r.down) {
            r.down = r.watched = false;
        }
        held = held || r.watched;
    }
    polling_ = held;
    if (held) {
        QTimer::singleShot(kPollMs, [this] { PollHeldKeys(); });
    }
}

bool OnUiThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

bool RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk) {
    if (!OnUiThread()) {
        return Fail(ERROR_WINDOW_OF_OTHER_THREAD);
    }
    return HotKeys::Instance().Register(hwnd, id, modifiers, vk);
}

void ReleaseHotKeysOfWindow(HWND hwnd) {
    if (OnUiThread()) {
        HotKeys::Instance().ReleaseWindow(hwnd);
    }
}

bool UnregisterHotKey(HWND hwnd, int id) {
    if (!OnUiThread()) {
        return Fail(ERROR_WINDOW_OF_OTHER_THREAD);
    }
    return HotKeys::Instance().Unregister(hwnd, id);
}

std::uint32_t LastHotKeyError() {
    return t_lastError;
}

}  // namespace vl::platform
