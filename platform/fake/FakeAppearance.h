#pragma once

#include "platform/api/Appearance.h"

namespace tarno {

// An appearance the test sets; each real change is announced, as the desktop's would be.
class FakeAppearance : public Appearance
{
public:
    bool isDark() const override { return m_dark; }
    void setDark(bool dark)
    {
        if (dark == m_dark)
            return;
        m_dark = dark;
        Q_EMIT darkChanged();
    }

private:
    bool m_dark = false;
};

} // namespace tarno
