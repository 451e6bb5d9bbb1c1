#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <cstdint>

#include "utils/vl_wnd.h"

class QMouseEvent;
class QKeyEvent;
class QWindow;

namespace skin {

class Window;

// The top-level Qt widget of a Window. It turns the Qt events of its window into the window's
// messages and carries out the moves and resizes that the hit test asks for.
class WindowWidget final : public QWidget {
    Q_OBJECT

public:
    WindowWidget(Window* owner, QWidget* parent, Qt::WindowFlags flags);
    ~WindowWidget() override;

    Window* Owner() const { return owner_; }
    // The window is gone: no further calls into it.
    void Detach() { owner_ = nullptr; }
    // Watches the input of the native window; call again when it is recreated.
    void WatchNativeWindow();

    // The WS_EX_* bits that need the widget: set before the native window exists.
    void SetExStyle(std::uint32_t exStyle);
    // WS_EX_LAYERED: the window's shape follows the opaque part of what it paints.
    void UpdateShape();
    // Floating windows (kFloating): kept above every other window while shown, or not.
    void SetKeepAbove(bool keep);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool OnMouse(QMouseEvent* event);
    // True when the window swallowed the key.
    bool OnKey(QKeyEvent* event);
    // WS_EX_OVERLAY: the keyboard while shown.
    void TakeKeyboard(bool take, int attempt = 0);
    // Starts a move or resize for a non-client hit; false for HTCLIENT and unknown answers.
    bool BeginNonClientDrag(vl::LRESULT hit, QPoint globalPos);
    void ContinueManualDrag(QPoint globalPos);
    void UpdateCursor(vl::LRESULT hit);

    Window* owner_;
    QPointer<QWindow> watched_;
    bool layered_ = false;
    bool overlay_ = false;
    bool fullScreen_ = false;  // an overlay the compositor shows full-screen
    bool floating_ = false;
    bool keepAbove_ = false;
    struct Drag {
        bool active = false;
        Qt::Edges edges;  // none: a move
        QPoint pressGlobal;
        QRect startGeometry;
    } drag_;
};

}  // namespace skin
