#include "ui/skin/run_modal.h"

#include "ui/skin/icon_registry.h"

namespace skin {

vl::UINT RunCreatedModal(Window& window) {
    vl::WndSetIcon(window.GetHWND(), LoadAppIcon());
    window.CenterWindow();
    const vl::UINT result = window.ShowModal();
    window.Destroy();  // still open when the run was cut short
    return result;
}

}  // namespace skin
