#pragma once

#include <QRect>
#include <cstdint>
#include <string>

#include "ui/skin/image_descriptor.h"
#include "ui/skin/rect.h"
#include "utils/vl_wnd.h"

class QPainter;
class QWidget;

namespace skin {

class PaintManager;

// What every control of a skinned window offers, whatever Qt widget it is. Controls are Qt
// widgets that also derive from Control; a window finds them by name through its paint manager.
// Layout files set the attributes below as dynamic string properties of the widgets.
class Control {
public:
    explicit Control(QWidget* self);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    // "Label", "Text", "Button", "Option", "Edit", "Combo" or "Container".
    virtual const char* GetClass() const = 0;
    QWidget* GetWidget() const { return self_; }
    // The paint manager of the window the control is in, or null while it is in none.
    PaintManager* GetManager() const;

    std::string GetName() const;
    void SetName(const std::string& name);
    virtual std::u16string GetText() const;
    virtual void SetText(const std::u16string& text);

    // The control's own visibility (true for a new control), whatever its container shows.
    bool IsVisible() const { return visible_; }
    void SetVisible(bool visible);
    bool IsEnabled() const;
    void SetEnabled(bool enabled);
    // A control that takes no mouse input lets presses, hovering and the hit test through to
    // what lies below it (decorations over a button or option).
    bool IsMouseEnabled() const;
    void SetMouseEnabled(bool enabled);

    const std::u16string& GetUserData() const { return userData_; }
    void SetUserData(const std::u16string& data) { userData_ = data; }
    std::uintptr_t GetTag() const { return tag_; }
    void SetTag(std::uintptr_t tag) { tag_ = tag; }

    // Background: a colour 0xAARRGGBB under an image description (see ImageDescriptor). An
    // invalid description is logged and clears the image.
    const std::u16string& GetBkImage() const { return bkImageText_; }
    void SetBkImage(const std::u16string& description);
    std::uint32_t GetBkColor() const { return bkColor_; }
    void SetBkColor(std::uint32_t argb);

    // Text colour 0xAARRGGBB, over any style sheet's; 0 leaves the style sheets' colour.
    std::uint32_t GetTextColor() const { return textColor_; }
    void SetTextColor(std::uint32_t argb);
    // A font added to the paint manager under `id`; applied once the control is in a window.
    int GetFont() const { return fontId_; }
    void SetFont(int id);

    // A floating control keeps a fixed position and size inside its container instead of taking
    // part in its layout.
    bool IsFloat() const { return float_; }
    void SetFloat(bool floating);
    void SetFixedXY(int x, int y);
    void SetFixedWidth(int width);
    void SetFixedHeight(int height);
    int GetFixedWidth() const { return fixedWidth_; }
    int GetFixedHeight() const { return fixedHeight_; }
    // Position in the window's client coordinates.
    void SetPos(const Rect& rect);
    Rect GetPos() const;
    int GetWidth() const;
    int GetHeight() const;

    // Sets one attribute by its layout name; false for a name or value the control does not take.
    // Common names: bkimage, bkcolor, textcolor, fontid, float, pos (l,t,r,b inside the container),
    // width, height, userdata, visible, enabled, mouse (false: mouse input passes through).
    virtual bool SetAttribute(const std::string& name, const std::u16string& value);

    // The control now belongs to a window (its layout was built or it was added to a container).
    virtual void OnAttach();

protected:
    // Paints the background colour and image over `rect`.
    void PaintBackground(QPainter& painter, const QRect& rect) const;
    // Reports `type` to the window's notifiers.
    void SendNotify(const char* type, vl::WPARAM wParam = 0, vl::LPARAM lParam = 0);

private:
    void ApplyFloatGeometry();

    QWidget* const self_;
    bool visible_ = true;
    std::u16string userData_;
    std::uintptr_t tag_ = 0;
    std::u16string bkImageText_;
    ImageDescriptor bkImage_;
    std::uint32_t bkColor_ = 0;
    std::uint32_t textColor_ = 0;
    int fontId_ = -1;
    bool float_ = false;
    int fixedX_ = 0;
    int fixedY_ = 0;
    int fixedWidth_ = -1;
    int fixedHeight_ = -1;
};

// The control `widget` is, or null.
Control* AsControl(QWidget* widget);

}  // namespace skin
