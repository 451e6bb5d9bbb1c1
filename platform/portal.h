#pragma once

#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <chrono>
#include <functional>
#include <string>

#include "platform/screen_capture.h"

// The desktop portals (org.freedesktop.portal.*) on the session bus: how a Wayland session lets
// a program read the screen and receive global shortcuts.
namespace vl::platform {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// What a portal request answered through its Request object's Response signal.
struct PortalAnswer {
    bool answered = false;  // false: no answer within the bound, or the call itself failed
    bool missing = false;   // the portal or its interface is not there
    unsigned code = 2;      // 0 success, 1 cancelled by the user, 2 other
    QVariantMap results;
    std::string error;  // why there is no answer
};

// Calls `method` of `interface` with `args` followed by `options` (a handle_token is added), and
// waits at most `wait` for the Response; the signal is subscribed to before the call, so a quick
// answer is not lost. UI thread (it runs a local event loop while waiting).
PortalAnswer CallPortal(const QString& interface, const QString& method, const QVariantList& args,
                        QVariantMap options, std::chrono::milliseconds wait);

// Reads the whole screen through the Screenshot portal: first without asking the user, once more
// interactively when the desktop refused that (code 1 or 2). The file the portal wrote for us is
// read at once and removed. False with `error`, a line for the user, when there is no Screenshot
// portal, no answer, or no readable picture.
struct PortalWaits {
    std::chrono::milliseconds quiet{10000};        // the request without asking the user
    std::chrono::milliseconds interactive{60000};  // the user choosing in the desktop's dialog
};
bool CapturePortal(ScreenCapture* out, std::string* error, const PortalWaits& waits = {});

// Whether the desktop's portal offers `interface` (say "org.freedesktop.portal.Screenshot"),
// without asking it for anything.
bool PortalOffers(const QString& interface,
                  std::chrono::milliseconds wait = std::chrono::seconds(3));
inline constexpr const char* kScreenshotPortal = "org.freedesktop.portal.Screenshot";
inline constexpr const char* kShortcutsPortal = "org.freedesktop.portal.GlobalShortcuts";

// The line shown when a Wayland session has no Screenshot portal.
std::string MissingScreenshotPortalText();

// Global shortcuts through the GlobalShortcuts portal: "translate" (Ctrl+Alt+T) and "region"
// (Ctrl+Alt+R). `activated` runs on the UI thread with the shortcut's id.
class PortalShortcuts final : public QObject {
    Q_OBJECT
public:
    using Activated = std::function<void(const QString& id)>;
    explicit PortalShortcuts(Activated activated);
    ~PortalShortcuts() override;

    // Creates the session and binds both shortcuts; false with `error` when the portal or its
    // interface is missing or refused. UI thread.
    bool Start(std::string* error, std::chrono::milliseconds wait = std::chrono::seconds(10));
    bool Active() const { return !session_.isEmpty(); }

private slots:
    void OnActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

private:
    static void CloseSession(const QString& session);

    Activated activated_;
    QString session_;
};

}  // namespace vl::platform
