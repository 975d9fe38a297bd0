#pragma once

#include <QString>

namespace tarno {

// Gives the process a runtime folder when the session names none, so that Qt has one to use without
// complaining and the single-instance lock has a private place: a folder of the user's own, mode
// 0700, under the temporary folder, the same one each time unless someone else made or opened it up,
// in which case a new one. A set XDG_RUNTIME_DIR is left alone. Call before the application object
// exists. Returns the folder XDG_RUNTIME_DIR now names, empty when none could be made.
QString ensureRuntimeFolder();

} // namespace tarno
