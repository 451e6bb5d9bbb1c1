#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/skin/notify.h"
#include "ui/skin/rect.h"

class QWidget;

namespace skin {

class Container;
class Control;
class Option;

// A control a window keeps: its name in the layout and the pointer that receives it, of the
// control's kind (see PaintManager::Bind).
class ControlSlot {
public:
    template <class T>
    ControlSlot(std::string name, T** slot)
        : name_(std::move(name)), slot_(slot), fill_([](Control* found, void* to) {
              T* typed = dynamic_cast<T*>(found);
              *static_cast<T**>(to) = typed;
              return typed != nullptr;
          }) {}

    const std::string& Name() const { return name_; }
    // Points the slot at `found` when it is of the slot's kind, else at null; whether it was.
    bool Fill(Control* found) const { return fill_(found, slot_); }

private:
    std::string name_;
    void* slot_;
    bool (*fill_)(Control*, void*);
};

// The skin of one window: its layout (control tree), the images and fonts its controls use, the
// caption and size-box bands of its hit test, and the listeners of its controls' notifications.
// The root of a layout may carry, as dynamic string properties: caption ("l,t,r,b": left inset,
// top, right inset, bottom of the caption band), sizebox ("l,t,r,b" widths of the resize bands)
// and font1, font2 … (font descriptions, see ParseFontDescriptor).
class PaintManager {
public:
    PaintManager();
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    // Binds to the window's top-level widget (the window base does this).
    void Init(QWidget* host);
    // Forgets the window (it is being destroyed).
    void Detach();

    // Builds `file` (a layout in the resource folder, e.g. "main/ui.xml") and attaches it as the
    // window's content; the window takes the layout's size. The style sheet beside the layout
    // ("main/ui.qss"), when there is one, styles this window only, over the application's. False,
    // logged, when it cannot be built or its root is not a Container.
    bool LoadLayout(const std::string& file);
    Container* GetRoot() const;

    // The first control called `name`, or null.
    Control* FindControl(const std::string& name) const;
    template <class T>
    T* FindControl(const std::string& name) const {
        return dynamic_cast<T*>(FindControl(name));
    }
    // Looks up every slot's control by name: Bind({{"phone", &phone_}, {"ok", &ok}}). A control
    // that is missing or of another kind leaves its slot null, and is named in the log; false
    // then.
    bool Bind(std::initializer_list<ControlSlot> wanted) const;
    // The innermost control under a point in client coordinates, or null outside the layout.
    Control* FindControlAt(int x, int y) const;
    // The options of a group, in layout order.
    std::vector<Option*> GetOptionGroup(const std::string& group) const;

    void AddNotifier(INotify* notifier);
    void RemoveNotifier(INotify* notifier);
    void SendNotify(Control* sender, const std::string& type, vl::WPARAM wParam = 0,
                    vl::LPARAM lParam = 0);

    // Images by name: those added here first, then files (in the resource folder unless the name
    // is an absolute path). An image without alpha is drawn opaque.
    void AddImage(const std::string& name, const QImage& image, bool alpha);
    // Adds the image file `name`; false when it cannot be read.
    bool AddImage(const std::string& name);
    void RemoveImage(const std::string& name);
    // A null image, logged once per name, when the image cannot be found.
    QImage GetImage(const std::string& name);

    // Font `id` of `size` pixels; replaces an earlier font of that id.
    void AddFont(int id, const std::u16string& face, int size, bool bold, bool underline,
                 bool italic);
    const QFont* GetFont(int id) const;

    Rect GetCaptionRect() const { return caption_; }
    void SetCaptionRect(const Rect& rect) { caption_ = rect; }
    Rect GetSizeBox() const { return sizeBox_; }
    void SetSizeBox(const Rect& rect) { sizeBox_ = rect; }

private:
    void ApplyLayoutStyle(const std::string& file, QWidget* root);
    void ApplyLayoutProperties(QWidget* root);

    QPointer<QWidget> host_;
    QPointer<Container> root_;
    std::vector<INotify*> notifiers_;
    std::shared_ptr<bool> alive_;  // lets a notification notice that this manager went away
    std::map<std::string, QImage> images_;
    std::map<std::string, QImage> files_;  // loaded files; null entries were not found
    std::map<int, QFont> fonts_;
    Rect caption_;
    Rect sizeBox_;
};

}  // namespace skin
