#pragma once

#include "capture/SystemScreenshotPreferences.h"
#include "model/PasteboardCapture.h"

#include <functional>
#include <optional>

class QQmlEngine;
class QQuickItem;

namespace tarno {

class ClipboardHistoryViewModel;
class GleanerySettings;
class ShortcutSetting;

using DropCapturesCallback = std::function<void(const PasteboardCaptures &)>;

// Makes the popover's whole content, 360 × 480, bound to the two stores, as a child of `parent`.
// Dropped content reaches `onDropCaptures`, only ever with a non-empty list, on the main thread.
// `isCapturingPaused` is asked again on each "gleaneryCapturingPausedChanged" notification of the
// default centre. The settings panel shows `shortcut` when there is one. The engine, both stores and
// the shortcut must outlive the returned item; null when the view cannot be loaded.
QQuickItem *createPopoverView(QQmlEngine &engine, QQuickItem *parent, ClipboardHistoryViewModel &history,
                              GleanerySettings &settings, DropCapturesCallback onDropCaptures,
                              std::function<bool()> isCapturingPaused,
                              std::optional<ScreenshotEnvironment> screenshotEnvironment = std::nullopt,
                              ShortcutSetting *shortcut = nullptr);

} // namespace tarno
