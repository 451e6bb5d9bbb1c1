#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/skin/notify.h"
#include "ui/skin/rect.h"

class QWidget;

namespace skin {

class Container;
class Control;
class Option;

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
