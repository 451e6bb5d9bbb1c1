#include "ui/skin/paint_manager.h"

#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QVBoxLayout>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <filesystem>

#include "ui/skin/attribute_list.h"
#include "ui/skin/container.h"
#include "ui/skin/control.h"
#include "ui/skin/fonts.h"
#include "ui/skin/layout_loader.h"
#include "ui/skin/option.h"
#include "ui/skin/resource_path.h"
#include "utils/vl_log.h"

namespace skin {

namespace {

Rect ToRect(const int v[4]) {
    return Rect{v[0], v[1], v[2], v[3]};
}

// Controls of the tree under `root`, root first, in layout order.
std::vector<Control*> ControlsOf(QWidget* root) {
    std::vector<Control*> controls;
    if (Control* c = AsControl(root))
        controls.push_back(c);
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (Control* c = AsControl(w))
            controls.push_back(c);
    }
    return controls;
}

// Reports a focus move the user made (a mouse press, Tab or Backtab) as "setfocus" from the
// control that took the focus. Focus given when a window is activated or first shown, or set by
// code, is not reported: pages save a setting on "setfocus", and opening one must not.
class UserFocusWatcher final : public QObject {
public:
    static void Install() {
        static QPointer<UserFocusWatcher> installed;
        if (installed == nullptr && qApp != nullptr) {
            installed = new UserFocusWatcher(qApp);
            qApp->installEventFilter(installed);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::FocusIn || !watched->isWidgetType()) {
            return false;
        }
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::MouseFocusReason && reason != Qt::TabFocusReason &&
            reason != Qt::BacktabFocusReason) {
            return false;
        }
        for (auto* w = static_cast<QWidget*>(watched); w != nullptr && !w->isWindow();
             w = w->parentWidget()) {
            if (Control* c = AsControl(w)) {
                if (PaintManager* manager = c->GetManager())
                    manager->SendNotify(c, "setfocus");
                break;
            }
        }
        return false;
    }

private:
    using QObject::QObject;
};

}  // namespace

PaintManager::PaintManager() : alive_(std::make_shared<bool>(true)) {}

PaintManager::~PaintManager() {
    *alive_ = false;
    Detach();
}

void PaintManager::Init(QWidget* host) {
    host_ = host;
    UserFocusWatcher::Install();
}

void PaintManager::Detach() {
    notifiers_.clear();
    root_ = nullptr;
    host_ = nullptr;
}

bool PaintManager::LoadLayout(const std::string& file) {
    if (host_ == nullptr) {
        VL_ERROR("layout {} has no window", file);
        return false;
    }
    if (root_ != nullptr) {
        VL_ERROR("layout {} refused, the window has one already", file);
        return false;
    }
    const QString path = QString::fromStdString(ResourceFile(file));
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        VL_ERROR("open layout {} failed, {}", path.toStdString(), f.errorString().toStdString());
        return false;
    }
    LayoutLoader loader;
    QWidget* built = loader.load(&f, host_);
    if (built == nullptr) {
        VL_ERROR("build layout {} failed, {}", path.toStdString(),
                 loader.errorString().toStdString());
        return false;
    }
    auto* root = qobject_cast<Container*>(built);
    if (root == nullptr) {
        VL_ERROR("layout {} does not start with a Container", path.toStdString());
        delete built;
        return false;
    }
    root_ = root;
    ApplyLayoutStyle(file, root);
    ApplyLayoutProperties(root);
    for (Control* c : ControlsOf(root)) {
        c->OnAttach();
    }
    const QSize size = root->size();
    if (host_->layout() == nullptr) {
        auto* layout = new QVBoxLayout(host_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }
    host_->layout()->addWidget(root);
    host_->resize(size);
    return true;
}

void PaintManager::ApplyLayoutStyle(const std::string& file, QWidget* root) {
    const std::string name = std::filesystem::path(file).replace_extension(".qss").string();
    QFile sheet(QString::fromStdString(ResourceFile(name)));
    if (!sheet.exists()) {
        return;
    }
    if (!sheet.open(QIODevice::ReadOnly)) {
        VL_WARN("style sheet {} cannot be read, {}", name, sheet.errorString().toStdString());
        return;
    }
    root->setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

void PaintManager::ApplyLayoutProperties(QWidget* root) {
    for (Control* c : ControlsOf(root)) {
        QWidget* w = c->GetWidget();
        for (const QByteArray& key : w->dynamicPropertyNames()) {
            const std::string name = key.toStdString();
            if (name.rfind("_q_", 0) == 0) {
                continue;
            }
            const QString value = w->property(key.constData()).toString();
            if (w == root && (name == "caption" || name == "sizebox")) {
                int v[4];
                if (!ParseFourInts(value, 0, v)) {
                    VL_WARN("bad {} '{}' in layout", name, value.toStdString());
                } else if (name == "caption") {
                    caption_ = ToRect(v);
                } else {
                    sizeBox_ = ToRect(v);
                }
                continue;
            }
            if (w == root && name.rfind("font", 0) == 0 && name != "fontid") {
                bool ok = false;
                const int id = QString::fromStdString(name.substr(4)).toInt(&ok);
                QFont font;
                std::string error;
                if (!ok || !ParseFontDescriptor(value, &font, &error)) {
                    VL_WARN("bad font {} '{}' in layout: {}", name, value.toStdString(), error);
                } else {
                    fonts_[id] = font;
                }
                continue;
            }
            if (!c->SetAttribute(name, value.toStdU16String())) {
                VL_WARN("attribute {}='{}' of {} not understood", name, value.toStdString(),
                        c->GetName());
            }
        }
    }
}

Container* PaintManager::GetRoot() const {
    return root_.data();
}

Control* PaintManager::FindControl(const std::string& name) const {
    if (root_ == nullptr) {
        return nullptr;
    }
    const QString n = QString::fromStdString(name);
    if (root_->objectName() == n) {
        return root_.data();
    }
    for (QWidget* w : root_->findChildren<QWidget*>(n)) {
        if (Control* c = AsControl(w))
            return c;
    }
    return nullptr;
}

bool PaintManager::Bind(std::initializer_list<ControlSlot> wanted) const {
    std::string missing;
    for (const ControlSlot& slot : wanted) {
        if (!slot.Fill(FindControl(slot.Name()))) {
            missing += (missing.empty() ? "" : ", ") + slot.Name();
        }
    }
    if (missing.empty()) {
        return true;
    }
    VL_ERROR("some control is not found");
    VL_ERROR("controls not found in the layout: {}", missing);
    return false;
}

Control* PaintManager::FindControlAt(int x, int y) const {
    if (root_ == nullptr || host_ == nullptr) {
        return nullptr;
    }
    const QPoint p = root_->mapFrom(host_.data(), QPoint(x, y));
    if (!root_->rect().contains(p)) {
        return nullptr;
    }
    for (QWidget* w = root_->childAt(p); w != nullptr && w != root_; w = w->parentWidget()) {
        if (Control* c = AsControl(w))
            return c;
    }
    return root_.data();
}

std::vector<Option*> PaintManager::GetOptionGroup(const std::string& group) const {
    std::vector<Option*> options;
    if (root_ == nullptr || group.empty()) {
        return options;
    }
    for (Option* o : root_->findChildren<Option*>()) {
        if (o->GetGroup() == group)
            options.push_back(o);
    }
    return options;
}

void PaintManager::AddNotifier(INotify* notifier) {
    if (notifier != nullptr &&
        std::find(notifiers_.begin(), notifiers_.end(), notifier) == notifiers_.end()) {
        notifiers_.push_back(notifier);
    }
}

void PaintManager::RemoveNotifier(INotify* notifier) {
    notifiers_.erase(std::remove(notifiers_.begin(), notifiers_.end(), notifier), notifiers_.end());
}

void PaintManager::SendNotify(Control* sender, const std::string& type, vl::WPARAM wParam,
                              vl::LPARAM lParam) {
    Notification msg;
    msg.type = type;
    msg.sender = sender;
    msg.senderName = sender != nullptr ? sender->GetName() : std::string();
    msg.wParam = wParam;
    msg.lParam = lParam;
    // A listener may close the window, remove listeners or delete the window itself.
    const std::shared_ptr<bool> alive = alive_;
    const std::vector<INotify*> listeners = notifiers_;
    for (INotify* n : listeners) {
        if (!*alive)
            return;
        if (std::find(notifiers_.begin(), notifiers_.end(), n) != notifiers_.end()) {
            n->Notify(msg);
        }
    }
}

void PaintManager::AddImage(const std::string& name, const QImage& image, bool alpha) {
    images_[name] = alpha ? image : image.convertToFormat(QImage::Format_RGB32);
    if (root_ != nullptr)
        root_->update();
}

bool PaintManager::AddImage(const std::string& name) {
    const QImage image(QString::fromStdString(ResourceFile(name)));
    if (image.isNull()) {
        VL_WARN("image {} cannot be read", name);
        return false;
    }
    AddImage(name, image, true);
    return true;
}

void PaintManager::RemoveImage(const std::string& name) {
    images_.erase(name);
    files_.erase(name);
}

QImage PaintManager::GetImage(const std::string& name) {
    if (const auto it = images_.find(name); it != images_.end()) {
        return it->second;
    }
    if (const auto it = files_.find(name); it != files_.end()) {
        return it->second;
    }
    const QImage image(QString::fromStdString(ResourceFile(name)));
    if (image.isNull()) {
        VL_WARN("image {} not found", name);
    }
    files_[name] = image;
    return image;
}

void PaintManager::AddFont(int id, const std::u16string& face, int size, bool bold, bool underline,
                           bool italic) {
    fonts_[id] = MakeFont(QString::fromStdU16String(face), size, bold, underline, italic);
}

const QFont* PaintManager::GetFont(int id) const {
    const auto it = fonts_.find(id);
    return it == fonts_.end() ? nullptr : &it->second;
}

}  // namespace skin
