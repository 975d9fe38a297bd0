#pragma once

#include <QByteArray>
#include <QStringList>

#include <memory>

struct wl_display;

namespace tarno {

// The two data-control protocols carry the same messages under different names; this is what the
// clipboard needs of either. Offers and sources are opaque handles. Main thread only, like the
// connection it lives on; the events arrive from wl_display dispatch.
class DataControl
{
public:
    class Events
    {
    public:
        virtual ~Events() = default;
        // A new offer; its types follow as offerType, before it is named by selection.
        virtual void offerCreated(void *offer) = 0;
        virtual void offerType(void *offer, const char *type) = 0;
        // The seat's selection is now this offer, or nothing.
        virtual void selection(void *offer) = 0;
        // An offer of the primary selection, which is not ours to read.
        virtual void primarySelection(void *offer) = 0;
        // The device is gone (its seat went away).
        virtual void finished() = 0;
        // A reader wants one of our source's types written into fd, which is now ours to close.
        virtual void send(void *source, const char *type, int fd) = 0;
        // The source is no longer the selection.
        virtual void cancelled(void *source) = 0;
    };

    virtual ~DataControl() = default;
    virtual const char *interfaceName() const = 0;
    virtual void *createSource(const QStringList &types) = 0;
    virtual void setSelection(void *source) = 0;
    virtual void destroySource(void *source) = 0;
    virtual void receive(void *offer, const QByteArray &type, int fd) = 0;
    virtual void destroyOffer(void *offer) = 0;

    // The data device of the display's first seat, through the ext protocol when the compositor
    // offers it and wlroots' otherwise; null when it offers neither, or no seat. Waits for one round
    // trip; the events, starting with the seat's current selection, come with later dispatches.
    static std::unique_ptr<DataControl> connect(wl_display *display, Events *events);
};

} // namespace tarno
