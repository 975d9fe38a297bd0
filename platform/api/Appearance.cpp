#include "platform/api/Appearance.h"

namespace tarno {

ColorSchemePreference colorSchemePreference(quint32 value)
{
    switch (value) {
    case 1:
        return ColorSchemePreference::dark;
    case 2:
        return ColorSchemePreference::light;
    default:
        return ColorSchemePreference::none;
    }
}

bool looksDark(ColorSchemePreference preference, bool paletteIsDark)
{
    return preference == ColorSchemePreference::none ? paletteIsDark
                                                     : preference == ColorSchemePreference::dark;
}

} // namespace tarno
