#pragma once

#include "platform/api/Appearance.h"

// Whole, so that the slot's argument type is known to the meta-object system by itself: the bus
// matches a signal to the slot by it.
#include <QDBusMessage>

namespace tarno {

// The desktop's look as the freedesktop portal's Settings interface tells it on the session bus
// (org.freedesktop.appearance color-scheme, read at start and followed through SettingChanged), and
// as the palette Qt has from the platform theme tells it where no portal answers or the desktop
// states no preference (followed through the application's palette-change events). The portal is
// asked without blocking: until it answers, the palette decides. Main thread; construct after the
// application object.
class PortalAppearance : public Appearance
{
    Q_OBJECT

public:
    explicit PortalAppearance(QObject *parent = nullptr);
    ~PortalAppearance() override;

    bool isDark() const override { return m_dark; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void settingChanged(const QDBusMessage &message);

private:
    // `method` is "ReadOne", or the older "Read" where a portal lacks it.
    void read(const QString &method);
    void setPreference(ColorSchemePreference preference);
    void update();

    ColorSchemePreference m_preference = ColorSchemePreference::none;
    bool m_dark = false;
};

} // namespace tarno
