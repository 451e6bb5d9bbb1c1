#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

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

    void setVisible(bool visible) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    bool OnMouse(QMouseEvent* event);
    void OnKey(QKeyEvent* event);
    // Starts a move or resize for a non-client hit; false for HTCLIENT and unknown answers.
    bool BeginNonClientDrag(vl::LRESULT hit, QPoint globalPos);
    void ContinueManualDrag(QPoint globalPos);
    void UpdateCursor(vl::LRESULT hit);

    Window* owner_;
    QPointer<QWindow> watched_;
    struct Drag {
        bool active = false;
        Qt::Edges edges;  // none: a move
        QPoint pressGlobal;
        QRect startGeometry;
    } drag_;
};

}  // namespace skin
