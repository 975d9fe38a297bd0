#pragma once

#include <QPalette>

namespace tarno {

// Dark when the palette's text is lighter than its window.
bool isDarkPalette(const QPalette &palette);

// The colours to draw with for a dark or a light look: `desktop` itself when it is as dark as asked,
// else a palette of our own that is, which keeps the desktop's accent (its highlight).
QPalette appearancePalette(const QPalette &desktop, bool dark);

} // namespace tarno
