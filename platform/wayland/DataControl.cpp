#include "platform/wayland/DataControl.h"

#include "ext-data-control-v1-client-protocol.h"
#include "wlr-data-control-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstring>
#include <type_traits>

namespace tarno {

namespace {

// The names of one protocol's types and calls, so that one implementation serves both.
#define TARNO_DATA_CONTROL_TRAITS(Traits, prefix)                                                            \
    struct Traits                                                                                            \
    {                                                                                                        \
        using Manager = prefix##manager_v1;                                                                  \
        using Device = prefix##device_v1;                                                                    \
        using Source = prefix##source_v1;                                                                    \
        using Offer = prefix##offer_v1;                                                                      \
        using DeviceListener = prefix##device_v1_listener;                                                   \
        using SourceListener = prefix##source_v1_listener;                                                   \
        using OfferListener = prefix##offer_v1_listener;                                                     \
        static const wl_interface *managerInterface() { return &prefix##manager_v1_interface; }              \
        static Device *getDevice(Manager *m, wl_seat *s)                                                     \
        {                                                                                                    \
            return prefix##manager_v1_get_data_device(m, s);                                                 \
        }                                                                                                    \
        static Source *createSource(Manager *m) { return prefix##manager_v1_create_data_source(m); }         \
        static void destroyManager(Manager *m) { prefix##manager_v1_destroy(m); }                            \
        static void addListener(Device *d, const DeviceListener *l, void *data)                              \
        {                                                                                                    \
            prefix##device_v1_add_listener(d, l, data);                                                      \
        }                                                                                                    \
        static void addListener(Source *s, const SourceListener *l, void *data)                              \
        {                                                                                                    \
            prefix##source_v1_add_listener(s, l, data);                                                      \
        }                                                                                                    \
        static void addListener(Offer *o, const OfferListener *l, void *data)                                \
        {                                                                                                    \
            prefix##offer_v1_add_listener(o, l, data);                                                       \
        }                                                                                                    \
        static void setSelection(Device *d, Source *s) { prefix##device_v1_set_selection(d, s); }            \
        static void destroyDevice(Device *d) { prefix##device_v1_destroy(d); }                               \
        static void offer(Source *s, const char *type) { prefix##source_v1_offer(s, type); }                 \
        static void destroySource(Source *s) { prefix##source_v1_destroy(s); }                               \
        static void receive(Offer *o, const char *type, int fd) { prefix##offer_v1_receive(o, type, fd); }   \
        static void destroyOffer(Offer *o) { prefix##offer_v1_destroy(o); }                                  \
    }

TARNO_DATA_CONTROL_TRAITS(ExtTraits, ext_data_control_);
TARNO_DATA_CONTROL_TRAITS(WlrTraits, zwlr_data_control_);

#undef TARNO_DATA_CONTROL_TRAITS

template <typename P> class DataControlOf final : public DataControl
{
public:
    DataControlOf(wl_registry *registry, wl_seat *seat, typename P::Manager *manager, Events *events)
        : m_registry(registry), m_seat(seat), m_manager(manager), m_device(P::getDevice(manager, seat)),
          m_events(events)
    {
        P::addListener(m_device, &deviceListener, this);
    }
    ~DataControlOf() override
    {
        P::destroyDevice(m_device);
        P::destroyManager(m_manager);
        wl_seat_destroy(m_seat);
        wl_registry_destroy(m_registry);
    }

    const char *interfaceName() const override { return P::managerInterface()->name; }

    void *createSource(const QStringList &types) override
    {
        typename P::Source *source = P::createSource(m_manager);
        P::addListener(source, &sourceListener, this);
        for (const QString &type : types)
            P::offer(source, type.toUtf8().constData());
        return source;
    }
    void setSelection(void *source) override
    {
        P::setSelection(m_device, static_cast<typename P::Source *>(source));
    }
    void destroySource(void *source) override { P::destroySource(static_cast<typename P::Source *>(source)); }
    void receive(void *offer, const QByteArray &type, int fd) override
    {
        P::receive(static_cast<typename P::Offer *>(offer), type.constData(), fd);
    }
    void destroyOffer(void *offer) override { P::destroyOffer(static_cast<typename P::Offer *>(offer)); }

private:
    static Events *events(void *data) { return static_cast<DataControlOf *>(data)->m_events; }

    static constexpr typename P::OfferListener offerListener = {
        [](void *data, typename P::Offer *offer, const char *type) { events(data)->offerType(offer, type); },
    };
    static constexpr typename P::DeviceListener deviceListener = {
        [](void *data, typename P::Device *, typename P::Offer *offer) {
            P::addListener(offer, &offerListener, data);
            events(data)->offerCreated(offer);
        },
        [](void *data, typename P::Device *, typename P::Offer *offer) { events(data)->selection(offer); },
        [](void *data, typename P::Device *) { events(data)->finished(); },
        [](void *data, typename P::Device *, typename P::Offer *offer) {
            events(data)->primarySelection(offer);
        },
    };
    static constexpr typename P::SourceListener sourceListener = {
        [](void *data, typename P::Source *source, const char *type, int32_t fd) {
            events(data)->send(source, type, fd);
        },
        [](void *data, typename P::Source *source) { events(data)->cancelled(source); },
    };

    wl_registry *m_registry;
    wl_seat *m_seat;
    typename P::Manager *m_manager;
    typename P::Device *m_device;
    Events *m_events;
};

// Which globals the compositor announced, of those we use.
struct Globals
{
    quint32 seat = 0;
    quint32 ext = 0;
    quint32 wlr = 0;
};

const wl_registry_listener registryListener = {
    [](void *data, wl_registry *, quint32 name, const char *interface, quint32) {
        auto *globals = static_cast<Globals *>(data);
        if (!globals)
            return; // announced after the start: of no interest
        if (std::strcmp(interface, wl_seat_interface.name) == 0 && globals->seat == 0)
            globals->seat = name;
        else if (std::strcmp(interface, ExtTraits::managerInterface()->name) == 0)
            globals->ext = name;
        else if (std::strcmp(interface, WlrTraits::managerInterface()->name) == 0)
            globals->wlr = name;
    },
    [](void *, wl_registry *, quint32) {},
};

template <typename P>
std::unique_ptr<DataControl> bindAs(wl_registry *registry, const Globals &globals,
                                    DataControl::Events *events)
{
    auto *seat = static_cast<wl_seat *>(wl_registry_bind(registry, globals.seat, &wl_seat_interface, 1));
    // Version 1 of either is all that is used: the clipboard selection, not the primary one.
    auto *manager = static_cast<typename P::Manager *>(wl_registry_bind(
        registry, std::is_same_v<P, ExtTraits> ? globals.ext : globals.wlr, P::managerInterface(), 1));
    return std::make_unique<DataControlOf<P>>(registry, seat, manager, events);
}

} // namespace

std::unique_ptr<DataControl> DataControl::connect(wl_display *display, Events *events)
{
    Globals globals;
    wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, &globals);
    if (wl_display_roundtrip(display) < 0 || globals.seat == 0 || (globals.ext == 0 && globals.wlr == 0)) {
        wl_registry_destroy(registry);
        return nullptr;
    }
    // The listener's data lives on this stack only.
    wl_proxy_set_user_data(reinterpret_cast<wl_proxy *>(registry), nullptr);
    return globals.ext != 0 ? bindAs<ExtTraits>(registry, globals, events)
                            : bindAs<WlrTraits>(registry, globals, events);
}

} // namespace tarno
