#include "platform/x11/XcbDisplay.h"

namespace tarno {

xcb_screen_t *screenOf(xcb_connection_t *connection, int number)
{
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < number && screens.rem > 1; ++i)
        xcb_screen_next(&screens);
    return screens.rem ? screens.data : nullptr;
}

XcbDisplay connectToDisplay()
{
    int number = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &number);
    xcb_screen_t *screen = xcb_connection_has_error(connection) ? nullptr : screenOf(connection, number);
    if (!screen) {
        xcb_disconnect(connection);
        return {};
    }
    return {connection, screen};
}

} // namespace tarno
