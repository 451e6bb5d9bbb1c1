#include "platform/portal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QTimer>
#include <QUrl>
#include <atomic>
#include <cstring>
#include <ctime>

#include "platform/dpi_source.h"
#include "utils/vl_log.h"

namespace vl::platform {

namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

// One element of BindShortcuts' a(sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& arg, const Shortcut& s) {
    arg.beginStructure();
    arg << s.id << s.properties;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, Shortcut& s) {
    arg.beginStructure();
    arg >> s.id >> s.properties;
    arg.endStructure();
    return arg;
}

}  // namespace
}  // namespace vl::platform

Q_DECLARE_METATYPE(vl::platform::Shortcut)

namespace vl::platform {

namespace {

// A unique token per request of this process: the Request object's path ends with it.
QString NextToken(const char* what) {
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("velmora_%1_%2_%3")
        .arg(QString::fromLatin1(what))
        .arg(static_cast<qulonglong>(::getpid()))
        .arg(++counter);
}

// The path the portal gives the Request of `token`: the caller's unique bus name without its
// ':' and with '.' as '_'.
QString RequestPath(const QDBusConnection& bus, const QString& token) {
    QString sender = bus.baseService();
    if (sender.startsWith(':')) {
        sender.remove(0, 1);
    }
    sender.replace('.', '_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

bool IsMissing(const QDBusError& e) {
    switch (e.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
            return true;
        default:
            return false;
    }
}

// Receives the Response of one request.
class ResponseWaiter final : public QObject {
    Q_OBJECT
public:
    bool received = false;
    unsigned code = 2;
    QVariantMap results;
    QEventLoop loop;

public slots:
    void OnResponse(uint response, const QVariantMap& answer) {
        received = true;
        code = response;
        results = answer;
        loop.quit();
    }
};

bool SubscribeResponse(QDBusConnection& bus, const QString& path, ResponseWaiter* waiter) {
    return bus.connect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), waiter,
                       SLOT(OnResponse(uint, QVariantMap)));
}

void UnsubscribeResponse(QDBusConnection& bus, const QString& path, ResponseWaiter* waiter) {
    bus.disconnect(kPortalService, path, kRequestInterface, QStringLiteral("Response"), waiter,
                   SLOT(OnResponse(uint, QVariantMap)));
}

// Copies `image` into the capture's two forms.
bool FillCapture(const QImage& image, ScreenCapture* out) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull() || rgb.width() <= 0 || rgb.height() <= 0) {
        return false;
    }
    out->width = rgb.width();
    out->height = rgb.height();
    const std::size_t row = static_cast<std::size_t>(out->width) * 3;
    out->rgb.resize(row * static_cast<std::size_t>(out->height));
    for (int y = 0; y < out->height; ++y) {
        std::memcpy(out->rgb.data() + row * static_cast<std::size_t>(y), rgb.constScanLine(y), row);
    }
    out->picture = image.convertToFormat(QImage::Format_RGB32);
    out->picture.setDevicePixelRatio(DevicePixelRatio());
    return true;
}

// Removes the picture the portal wrote for this request: a file of ours, written after we asked.
// Pictures the user keeps elsewhere are never touched.
void RemoveIfOurs(const QString& path, std::time_t askedAt) {
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
        st.st_mtime + 1 < askedAt) {
        return;
    }
    if (::unlink(native.constData()) != 0) {
        VL_WARN("removing the portal's screenshot {} failed", path.toStdString());
    }
}

}  // namespace

PortalAnswer CallPortal(const QString& interface, const QString& method, const QVariantList& args,
                        QVariantMap options, std::chrono::milliseconds wait) {
    PortalAnswer answer;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answer.missing = true;
        answer.error = "no session bus";
        return answer;
    }
    const QString token = NextToken("req");
    options.insert(QStringLiteral("handle_token"), token);
    QString path = RequestPath(bus, token);
    ResponseWaiter waiter;
    if (!SubscribeResponse(bus, path, &waiter)) {
        answer.error = "subscribing to the portal's response failed";
        return answer;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    QVariantList all = args;
    all.push_back(options);
    call.setArguments(all);
    const QDBusMessage reply = bus.call(call, QDBus::Block, static_cast<int>(wait.count()));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        UnsubscribeResponse(bus, path, &waiter);
        const QDBusError e(reply);
        answer.missing = IsMissing(e);
        answer.error = (e.name() + ": " + e.message()).toStdString();
        return answer;
    }
    // Older portals chose the path themselves.
    if (!reply.arguments().isEmpty()) {
        const QString given = qvariant_cast<QDBusObjectPath>(reply.arguments().front()).path();
        if (!given.isEmpty() && given != path) {
            UnsubscribeResponse(bus, path, &waiter);
            path = given;
            SubscribeResponse(bus, path, &waiter);
        }
    }
    if (!waiter.received) {
        QTimer::singleShot(wait, &waiter.loop, &QEventLoop::quit);
        waiter.loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    UnsubscribeResponse(bus, path, &waiter);
    if (!waiter.received) {
        // Withdrawn, so a dialog the desktop may still show does not outlive our interest.
        bus.call(QDBusMessage::createMethodCall(kPortalService, path, kRequestInterface,
                                                QStringLiteral("Close")),
                 QDBus::NoBlock);
        answer.error = "the portal did not answer within " + std::to_string(wait.count()) + " ms";
        return answer;
    }
    answer.answered = true;
    answer.code = waiter.code;
    answer.results = waiter.results;
    return answer;
}

bool PortalOffers(const QString& interface, std::chrono::milliseconds wait) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    // The front end exports an interface only when one of the desktop's back ends implements it.
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get.setArguments({interface, QStringLiteral("version")});
    const QDBusMessage reply = bus.call(get, QDBus::Block, static_cast<int>(wait.count()));
    return reply.type() == QDBusMessage::ReplyMessage;
}

std::string MissingScreenshotPortalText() {
    return "无法读取屏幕：请安装 xdg-desktop-portal 及 xdg-desktop-portal-gnome、-kde 或 -wlr";
}

bool CapturePortal(ScreenCapture* out, std::string* error, const PortalWaits& waits) {
    out->width = out->height = 0;
    out->picture = QImage();
    const std::time_t askedAt = std::time(nullptr);
    PortalAnswer answer = CallPortal(kScreenshotPortal, QStringLiteral("Screenshot"), {QString()},
                                     {{QStringLiteral("interactive"), false}}, waits.quiet);
    if (answer.answered && (answer.code == 1 || answer.code == 2)) {
        VL_INFO("screenshot portal answered {} without asking, asking the user", answer.code);
        answer = CallPortal(kScreenshotPortal, QStringLiteral("Screenshot"), {QString()},
                            {{QStringLiteral("interactive"), true}}, waits.interactive);
    }
    if (!answer.answered) {
        VL_ERROR("screenshot portal failed: {}", answer.error);
        *error = answer.missing ? MissingScreenshotPortalText()
                                : "屏幕截图门户没有回答：" + answer.error;
        out->rgb.clear();
        return false;
    }
    if (answer.code != 0) {
        VL_WARN("screenshot portal refused with {}", answer.code);
        *error = answer.code == 1 ? "屏幕截图已取消" : "屏幕截图门户拒绝了请求";
        out->rgb.clear();
        return false;
    }
    const QUrl uri(answer.results.value(QStringLiteral("uri")).toString());
    const QString file = uri.isLocalFile() ? uri.toLocalFile() : QString();
    QImage image;
    if (!file.isEmpty()) {
        image.load(file);
        RemoveIfOurs(file, askedAt);
    }
    if (image.isNull() || !FillCapture(image, out)) {
        VL_ERROR("screenshot portal gave no readable picture: {}", uri.toString().toStdString());
        *error = "屏幕截图门户没有给出可读的图片";
        out->rgb.clear();
        return false;
    }
    return true;
}

PortalShortcuts::PortalShortcuts(Activated activated) : activated_(std::move(activated)) {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
}

PortalShortcuts::~PortalShortcuts() {
    if (!session_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.disconnect(kPortalService, kPortalPath, kShortcutsPortal, QStringLiteral("Activated"),
                       this, SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        CloseSession(session_);
    }
}

void PortalShortcuts::CloseSession(const QString& session) {
    QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(kPortalService, session,
                                       QStringLiteral("org.freedesktop.portal.Session"),
                                       QStringLiteral("Close")),
        QDBus::NoBlock);
}

bool PortalShortcuts::Start(std::string* error, std::chrono::milliseconds wait) {
    const PortalAnswer created =
        CallPortal(kShortcutsPortal, QStringLiteral("CreateSession"), {},
                   {{QStringLiteral("session_handle_token"), NextToken("session")}}, wait);
    if (!created.answered || created.code != 0) {
        *error = created.answered ? "CreateSession answered " + std::to_string(created.code)
                                  : created.error;
        return false;
    }
    const QVariant handle = created.results.value(QStringLiteral("session_handle"));
    const QString session = handle.canConvert<QDBusObjectPath>()
                                ? qvariant_cast<QDBusObjectPath>(handle).path()
                                : handle.toString();
    if (session.isEmpty()) {
        *error = "CreateSession gave no session";
        return false;
    }
    QList<Shortcut> shortcuts{
        {QStringLiteral("translate"),
         {{QStringLiteral("description"), QStringLiteral("开始翻译")},
          {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+ALT+t")}}},
        {QStringLiteral("region"),
         {{QStringLiteral("description"), QStringLiteral("设置翻译区域")},
          {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+ALT+r")}}}};
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Subscribed before binding, so a press right after is not lost.
    bus.connect(kPortalService, kPortalPath, kShortcutsPortal, QStringLiteral("Activated"), this,
                SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    session_ = session;
    const PortalAnswer bound = CallPortal(
        kShortcutsPortal, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString()},
        {}, wait);
    if (!bound.answered || bound.code != 0) {
        *error =
            bound.answered ? "BindShortcuts answered " + std::to_string(bound.code) : bound.error;
        bus.disconnect(kPortalService, kPortalPath, kShortcutsPortal, QStringLiteral("Activated"),
                       this, SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
        CloseSession(session_);
        session_.clear();
        return false;
    }
    return true;
}

void PortalShortcuts::OnActivated(const QDBusObjectPath& session, const QString& id, qulonglong,
                                  const QVariantMap&) {
    if (session.path() == session_ && activated_) {
        activated_(id);
    }
}

}  // namespace vl::platform

#include "portal.moc"
