#include "platform/qt/AppearancePalette.h"

namespace tarno {

bool isDarkPalette(const QPalette &palette)
{
    return palette.color(QPalette::Text).lightnessF() > palette.color(QPalette::Window).lightnessF();
}

QPalette appearancePalette(const QPalette &desktop, bool dark)
{
    if (isDarkPalette(desktop) == dark)
        return desktop;
    const QColor window = dark ? QColor(0x2b, 0x2b, 0x2d) : QColor(0xf2, 0xf2, 0xf2);
    const QColor text = dark ? QColor(0xf2, 0xf2, 0xf2) : QColor(0x1d, 0x1d, 0x1f);
    QPalette palette(desktop);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, window);
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Base, dark ? QColor(0x1e, 0x1e, 0x20) : QColor(Qt::white));
        palette.setColor(group, QPalette::AlternateBase,
                         dark ? QColor(0x26, 0x26, 0x28) : QColor(0xf7, 0xf7, 0xf7));
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::Button, dark ? QColor(0x3a, 0x3a, 0x3c) : window);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::ToolTipBase,
                         dark ? QColor(0x3a, 0x3a, 0x3c) : QColor(0xff, 0xff, 0xf0));
        palette.setColor(group, QPalette::ToolTipText, dark ? QColor(Qt::white) : QColor(Qt::black));
        palette.setColor(group, QPalette::PlaceholderText,
                         dark ? QColor(0x8e, 0x8e, 0x93) : QColor(0x6e, 0x6e, 0x73));
    }
    const QColor disabledText = dark ? QColor(0x6e, 0x6e, 0x73) : QColor(0xa0, 0xa0, 0xa5);
    palette.setColor(QPalette::Disabled, QPalette::Window, window);
    palette.setColor(QPalette::Disabled, QPalette::Base, palette.color(QPalette::Active, QPalette::Base));
    palette.setColor(QPalette::Disabled, QPalette::Button, palette.color(QPalette::Active, QPalette::Button));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, disabledText);
    return palette;
}

} // namespace tarno
