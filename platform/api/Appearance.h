#pragma once

#include <QObject>

namespace tarno {

// What the desktop's colour-scheme setting asks for (org.freedesktop.appearance color-scheme).
enum class ColorSchemePreference
{
    none,
    dark,
    light
};

// The setting's value as the desktop gives it: 1 dark, 2 light; 0 and any value not known yet
// state no preference.
ColorSchemePreference colorSchemePreference(quint32 value);
// Dark when the desktop prefers dark, light when it prefers light, else as dark as the desktop's
// palette is.
bool looksDark(ColorSchemePreference preference, bool paletteIsDark);

// Whether the desktop asks for a dark or a light look, the one answer every view and the status item
// follow. Main thread only.
class Appearance : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool isDark() const = 0;

Q_SIGNALS:
    // Emitted on the main thread, only when the answer really changes.
    void darkChanged();
};

} // namespace tarno
