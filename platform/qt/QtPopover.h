#pragma once

#include "platform/api/Popover.h"

#include <memory>

class QQuickWindow;

namespace tarno {

class Appearance;

// The popover as a frameless Qt Quick window that never shows in the taskbar, the pager or the window
// switcher. It is transparent where a compositor can blend it, solid otherwise, and takes the focus
// when shown so that Escape reaches it; it never grabs the pointer or the keyboard, so drags into it
// keep working. Its colour follows `appearance`, which must outlive it. Main thread only; construct
// after the application object.
class QtPopover : public Popover
{
public:
    explicit QtPopover(Appearance &appearance);
    ~QtPopover() override;

    void setDelegate(PopoverDelegate *delegate) override;
    void setContentSize(QSizeF size) override;
    QSizeF contentSize() const override;
    PopoverContentView *setContentView(PopoverContentBuilder build) override;
    bool isShown() const override;
    void show(QRectF anchor) override;
    void performClose() override;
    std::optional<QRectF> windowFrame() const override;

    // The window itself, for tests and measurements.
    QQuickWindow *window() const;

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace tarno
