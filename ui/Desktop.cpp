#include "ui/Desktop.h"

#include "platform/x11/X11Compositor.h"

namespace tarno {

Desktop::Desktop(QObject *parent) : QObject(parent)
{
    connect(&X11CompositorWatch::instance(), &X11CompositorWatch::activeChanged, this,
            &Desktop::compositorActiveChanged);
}

bool Desktop::compositorActive() const
{
    return X11CompositorWatch::instance().isActive();
}

} // namespace tarno
