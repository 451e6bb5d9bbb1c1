#include "ui/skin/icon_registry.h"

#include <QFile>
#include <cstdint>
#include <vector>

#include "ui/skin/resource_path.h"
#include "utils/vl_log.h"

namespace skin {

namespace {

// Never destroyed: icons must not outlive the application object's teardown in a static
// destructor, and handles stay valid for the whole process.
std::vector<QIcon>& Icons() {
    static auto* icons = new std::vector<QIcon>;
    return *icons;
}

}  // namespace

vl::HICON RegisterIcon(const QIcon& icon) {
    if (icon.isNull()) {
        return nullptr;
    }
    auto& icons = Icons();
    icons.push_back(icon);
    return reinterpret_cast<vl::HICON>(static_cast<std::uintptr_t>(icons.size()));
}

QIcon IconFromHandle(vl::HICON handle) {
    const auto index = reinterpret_cast<std::uintptr_t>(handle);
    const auto& icons = Icons();
    if (index == 0 || index > icons.size()) {
        return {};
    }
    return icons[index - 1];
}

vl::HICON LoadAppIcon() {
    static vl::HICON appIcon = nullptr;
    if (appIcon == nullptr) {
        const QString path = QString::fromStdString(ResourceFile("app.png"));
        if (!QFile::exists(path)) {
            VL_ERROR("LoadIconW failed, no icon at {}", path.toStdString());
            return nullptr;
        }
        appIcon = RegisterIcon(QIcon(path));
    }
    return appIcon;
}

}  // namespace skin
