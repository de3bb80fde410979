#include "platform/window.hpp"

#include "platform/window_fltk.hpp"
#include "platform/window_headless.hpp"

namespace vald {

std::unique_ptr<UiPort> gf_makeUiPort()
{
    // FLTK ends the process when it cannot open its display, so open it first.
    if (auto* display = gf_openDisplay())
        return std::make_unique<FltkUiPort>(display);
    return std::make_unique<HeadlessUiPort>();
}

}  // namespace vald
