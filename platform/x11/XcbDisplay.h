#pragma once

#include <xcb/xcb.h>

namespace tarno {

// The display's screen `number`, or its last one when it has fewer; null when it has none.
xcb_screen_t *screenOf(xcb_connection_t *connection, int number);

// A connection of the caller's own to the display $DISPLAY names, for adapters that read their
// events apart from Qt's, with that display's default screen.
struct XcbDisplay
{
    xcb_connection_t *connection = nullptr;
    xcb_screen_t *screen = nullptr;
};

// Null members, and nothing left open, when the display cannot be reached.
XcbDisplay connectToDisplay();

} // namespace tarno
