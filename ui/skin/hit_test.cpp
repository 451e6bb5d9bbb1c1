#include "ui/skin/hit_test.h"

#include <QWidget>
#include <cstring>

#include "ui/skin/control.h"
#include "ui/skin/window.h"

namespace skin {

vl::LRESULT CommonHitTest(Window& window, vl::LPARAM screenPoint) {
    QWidget* widget = window.GetWidget();
    if (widget == nullptr) {
        return vl::HTCLIENT;
    }
    const QPoint pt =
        widget->mapFromGlobal(QPoint(vl::GetXLParam(screenPoint), vl::GetYLParam(screenPoint)));
    const int width = widget->width();
    const int height = widget->height();
    const PaintManager& pm = window.Manager();

    if (!window.IsMaximized()) {
        const Rect box = pm.GetSizeBox();
        if (pt.y() < box.top) {
            if (pt.x() < box.left)
                return vl::HTTOPLEFT;
            if (pt.x() >= width - box.right)
                return vl::HTTOPRIGHT;
            return vl::HTTOP;
        }
        if (pt.y() >= height - box.bottom) {
            if (pt.x() < box.left)
                return vl::HTBOTTOMLEFT;
            if (pt.x() >= width - box.right)
                return vl::HTBOTTOMRIGHT;
            return vl::HTBOTTOM;
        }
        if (pt.x() < box.left)
            return vl::HTLEFT;
        if (pt.x() >= width - box.right)
            return vl::HTRIGHT;
    }

    const Rect caption = pm.GetCaptionRect();
    if (pt.x() >= caption.left && pt.x() < width - caption.right && pt.y() >= caption.top &&
        pt.y() < caption.bottom) {
        const Control* control = pm.FindControlAt(pt.x(), pt.y());
        if (control != nullptr) {
            const char* cls = control->GetClass();
            if (std::strcmp(cls, "Button") == 0 || std::strcmp(cls, "Option") == 0 ||
                std::strcmp(cls, "Text") == 0) {
                return vl::HTCLIENT;
            }
        }
        return vl::HTCAPTION;
    }
    return vl::HTCLIENT;
}

}  // namespace skin
