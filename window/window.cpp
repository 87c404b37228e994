#include "window/window.h"

#include "store/store.h"

namespace vistra {

Window& Window::instance()
{
    static Window window;
    return window;
}

Window::Window()
{
    set_title(Store::instance().title);
    set_default_size(1000, 700);
}

} // namespace vistra
