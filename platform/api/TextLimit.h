#pragma once

#include <QtGlobal>

namespace tarno {

// The most bytes of one text a clip keeps. A reader may stop taking in a longer text just past it:
// a text handed over with more bytes than this was longer, and only its start is kept.
inline constexpr qsizetype maxClipTextBytes = qsizetype(64) * 1024 * 1024;

} // namespace tarno
