#include "tests/integration/DataControlCompositor.h"

#include "ext-data-control-v1-server-protocol.h"
#include "wlr-data-control-unstable-v1-server-protocol.h"

#include <wayland-server.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarno::integration {

namespace {

// The server side of either protocol under one set of names, as DataControl.cpp has the client's.
#define TARNO_DATA_CONTROL_SERVER_TRAITS(Traits, prefix, PREFIX)                                             \
    struct Traits                                                                                            \
    {                                                                                                        \
        using ManagerRequests = struct prefix##manager_v1_interface;                                         \
        using DeviceRequests = struct prefix##device_v1_interface;                                           \
        using SourceRequests = struct prefix##source_v1_interface;                                           \
        using OfferRequests = struct prefix##offer_v1_interface;                                             \
        static const wl_interface *manager() { return &prefix##manager_v1_interface; }                       \
        static const wl_interface *device() { return &prefix##device_v1_interface; }                         \
        static const wl_interface *source() { return &prefix##source_v1_interface; }                         \
        static const wl_interface *offer() { return &prefix##offer_v1_interface; }                           \
        static constexpr uint32_t usedSource = PREFIX##DEVICE_V1_ERROR_USED_SOURCE;                          \
        static constexpr uint32_t invalidOffer = PREFIX##SOURCE_V1_ERROR_INVALID_OFFER;                      \
        static void dataOffer(wl_resource *d, wl_resource *o) { prefix##device_v1_send_data_offer(d, o); }   \
        static void selection(wl_resource *d, wl_resource *o) { prefix##device_v1_send_selection(d, o); }    \
        static void offerType(wl_resource *o, const char *type) { prefix##offer_v1_send_offer(o, type); }    \
        static void send(wl_resource *s, const char *type, int fd)                                           \
        {                                                                                                    \
            prefix##source_v1_send_send(s, type, fd);                                                        \
        }                                                                                                    \
        static void cancelled(wl_resource *s) { prefix##source_v1_send_cancelled(s); }                       \
    }

TARNO_DATA_CONTROL_SERVER_TRAITS(ExtTraits, ext_data_control_, EXT_DATA_CONTROL_);
TARNO_DATA_CONTROL_SERVER_TRAITS(WlrTraits, zwlr_data_control_, ZWLR_DATA_CONTROL_);

#undef TARNO_DATA_CONTROL_SERVER_TRAITS

} // namespace

// The compositor's state, touched only by its thread once that runs; the records under the mutex are
// what the test reads meanwhile.
class DataControlServer
{
public:
    // A client's source, and how to speak to it in its own protocol.
    struct Source
    {
        DataControlServer *server;
        wl_resource *resource;
        std::vector<std::string> types;
        bool used = false;
        void (*send)(wl_resource *, const char *, int);
        void (*cancelled)(wl_resource *);
    };
    struct Device
    {
        DataControlServer *server;
        wl_resource *resource;
        // Tells the device of the selection: a new offer with its types, then selection.
        void (*announce)(Device *);
    };
    // An offer serves the selection it was made for only: once that is replaced it reads nothing.
    struct Offer
    {
        DataControlServer *server;
        quint64 generation;
    };

    explicit DataControlServer(wl_display *display) : display(display) {}

    void setSelection(Source *source)
    {
        Source *replaced = selection;
        selection = source;
        ++generation;
        if (replaced && replaced != source)
            replaced->cancelled(replaced->resource);
        for (Device *device : devices)
            device->announce(device);
    }

    void postError(wl_resource *resource, uint32_t code, const char *message)
    {
        {
            std::lock_guard lock(mutex);
            errors << QString("%1: %2").arg(wl_resource_get_class(resource), message);
        }
        wl_resource_post_error(resource, code, "%s", message);
    }

    template <typename P>
    static void bindManager(wl_client *client, void *data, uint32_t version, uint32_t id);
    static void bindSeat(wl_client *client, void *data, uint32_t version, uint32_t id);

    wl_display *display;
    Source *selection = nullptr;
    quint64 generation = 0;
    std::list<Device *> devices;
    std::thread thread;
    int wake = -1;

    mutable std::mutex mutex;
    QStringList bound;
    QStringList errors;
};

namespace {

template <typename T> T *dataOf(wl_resource *resource)
{
    return static_cast<T *>(wl_resource_get_user_data(resource));
}

void destroyResource(wl_client *, wl_resource *resource)
{
    wl_resource_destroy(resource);
}

template <typename P> struct Handlers
{
    static void announce(DataControlServer::Device *device)
    {
        DataControlServer *server = device->server;
        wl_resource *offer = nullptr;
        if (server->selection) {
            offer = wl_resource_create(wl_resource_get_client(device->resource), P::offer(),
                                       wl_resource_get_version(device->resource), 0);
            wl_resource_set_implementation(
                offer, &offerRequests, new DataControlServer::Offer{server, server->generation},
                [](wl_resource *r) { delete dataOf<DataControlServer::Offer>(r); });
            P::dataOffer(device->resource, offer);
            for (const std::string &type : server->selection->types)
                P::offerType(offer, type.c_str());
        }
        P::selection(device->resource, offer);
    }

    static constexpr typename P::OfferRequests offerRequests = {
        [](wl_client *, wl_resource *resource, const char *type, int32_t fd) {
            const auto *offer = dataOf<DataControlServer::Offer>(resource);
            DataControlServer::Source *source = offer->server->selection;
            if (source && offer->generation == offer->server->generation)
                source->send(source->resource, type, fd);
            close(fd);
        },
        destroyResource,
    };

    static constexpr typename P::SourceRequests sourceRequests = {
        [](wl_client *, wl_resource *resource, const char *type) {
            auto *source = dataOf<DataControlServer::Source>(resource);
            if (source->used)
                source->server->postError(resource, P::invalidOffer, "offer after the source was used");
            else
                source->types.emplace_back(type);
        },
        destroyResource,
    };
    static void sourceDestroyed(wl_resource *resource)
    {
        auto *source = dataOf<DataControlServer::Source>(resource);
        // A selection whose source is gone is no selection.
        if (source->server->selection == source)
            source->server->setSelection(nullptr);
        delete source;
    }

    // Marks the source used, or refuses it as already used.
    static bool take(wl_resource *device, wl_resource *resource)
    {
        auto *source = resource ? dataOf<DataControlServer::Source>(resource) : nullptr;
        if (source && source->used) {
            source->server->postError(device, P::usedSource, "the source was already used");
            return false;
        }
        if (source)
            source->used = true;
        return true;
    }
    static constexpr typename P::DeviceRequests deviceRequests = {
        [](wl_client *, wl_resource *device, wl_resource *resource) {
            if (take(device, resource))
                dataOf<DataControlServer::Device>(device)->server->setSelection(
                    resource ? dataOf<DataControlServer::Source>(resource) : nullptr);
        },
        destroyResource,
        // This seat has no primary selection to set.
        [](wl_client *, wl_resource *device, wl_resource *resource) { take(device, resource); },
    };
    static void deviceDestroyed(wl_resource *resource)
    {
        auto *device = dataOf<DataControlServer::Device>(resource);
        device->server->devices.remove(device);
        delete device;
    }

    static constexpr typename P::ManagerRequests managerRequests = {
        [](wl_client *client, wl_resource *manager, uint32_t id) {
            wl_resource *resource =
                wl_resource_create(client, P::source(), wl_resource_get_version(manager), id);
            auto *source = new DataControlServer::Source{
                dataOf<DataControlServer>(manager), resource, {}, false, P::send, P::cancelled};
            wl_resource_set_implementation(resource, &sourceRequests, source, sourceDestroyed);
        },
        [](wl_client *client, wl_resource *manager, uint32_t id, wl_resource *) {
            wl_resource *resource =
                wl_resource_create(client, P::device(), wl_resource_get_version(manager), id);
            auto *device =
                new DataControlServer::Device{dataOf<DataControlServer>(manager), resource, announce};
            wl_resource_set_implementation(resource, &deviceRequests, device, deviceDestroyed);
            device->server->devices.push_back(device);
            // A new device learns the current selection at once, as from any compositor.
            announce(device);
        },
        destroyResource,
    };
};

// Asked for a pointer, keyboard or touch: this seat has none, so they never send anything.
void inertDevice(wl_client *client, wl_resource *seat, uint32_t id, const wl_interface *interface)
{
    wl_resource_create(client, interface, wl_resource_get_version(seat), id);
}

const struct wl_seat_interface seatRequests = {
    [](wl_client *client, wl_resource *seat, uint32_t id) {
        inertDevice(client, seat, id, &wl_pointer_interface);
    },
    [](wl_client *client, wl_resource *seat, uint32_t id) {
        inertDevice(client, seat, id, &wl_keyboard_interface);
    },
    [](wl_client *client, wl_resource *seat, uint32_t id) {
        inertDevice(client, seat, id, &wl_touch_interface);
    },
    destroyResource,
};

} // namespace

template <typename P>
void DataControlServer::bindManager(wl_client *client, void *data, uint32_t version, uint32_t id)
{
    auto *server = static_cast<DataControlServer *>(data);
    wl_resource *resource = wl_resource_create(client, P::manager(), int(version), id);
    wl_resource_set_implementation(resource, &Handlers<P>::managerRequests, server, nullptr);
    std::lock_guard lock(server->mutex);
    server->bound << P::manager()->name;
}

void DataControlServer::bindSeat(wl_client *client, void *, uint32_t version, uint32_t id)
{
    wl_resource *resource = wl_resource_create(client, &wl_seat_interface, int(version), id);
    wl_resource_set_implementation(resource, &seatRequests, nullptr, nullptr);
    wl_seat_send_capabilities(resource, 0);
}

DataControlCompositor::DataControlCompositor(bool offersExt, bool offersWlr)
{
    wl_display *display = wl_display_create();
    if (!display || !m_runtimeDir.isValid())
        return;
    // The socket goes where XDG_RUNTIME_DIR says, and only there.
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", m_runtimeDir.path().toLocal8Bit());
    const char *socket = wl_display_add_socket_auto(display);
    qputenv("XDG_RUNTIME_DIR", runtimeDir);
    if (!socket) {
        wl_display_destroy(display);
        return;
    }
    m_socketPath = m_runtimeDir.filePath(QString::fromLocal8Bit(socket));

    auto server = std::make_unique<DataControlServer>(display);
    // The protocols' own versions, as a compositor announces them; Tarno asks for 1.
    wl_global_create(display, &wl_seat_interface, 1, server.get(), DataControlServer::bindSeat);
    if (offersExt)
        wl_global_create(display, ExtTraits::manager(), 1, server.get(),
                         DataControlServer::bindManager<ExtTraits>);
    if (offersWlr)
        wl_global_create(display, WlrTraits::manager(), 2, server.get(),
                         DataControlServer::bindManager<WlrTraits>);

    server->wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wl_event_loop_add_fd(
        wl_display_get_event_loop(display), server->wake, WL_EVENT_READABLE,
        [](int, uint32_t, void *data) {
            wl_display_terminate(static_cast<wl_display *>(data));
            return 0;
        },
        display);
    server->thread = std::thread([display] { wl_display_run(display); });
    m_server = std::move(server);
}

DataControlCompositor::~DataControlCompositor()
{
    if (!m_server)
        return;
    const uint64_t one = 1;
    (void)!write(m_server->wake, &one, sizeof one);
    m_server->thread.join();
    // The clients' resources go first: their destructors still speak to the server's state.
    wl_display_destroy_clients(m_server->display);
    wl_display_destroy(m_server->display);
    close(m_server->wake);
}

void DataControlCompositor::enter() const
{
    qputenv("WAYLAND_DISPLAY", m_socketPath.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", m_runtimeDir.path().toLocal8Bit());
}

QStringList DataControlCompositor::boundManagers() const
{
    std::lock_guard lock(m_server->mutex);
    return m_server->bound;
}

QStringList DataControlCompositor::protocolErrors() const
{
    std::lock_guard lock(m_server->mutex);
    return m_server->errors;
}

} // namespace tarno::integration
