#include "platform/api/Platform.h"

namespace tarno {

namespace {
Platform s_current;
}

const Platform &Platform::current()
{
    return s_current;
}

void Platform::install(const Platform &platform)
{
    s_current = platform;
}

} // namespace tarno
