// End-to-end timings of the tray shell on a real X display with a real XEmbed tray host, measured
// from outside the program as a user would see them:
//   - start: from launching the program to its icon being docked and mapped in the tray;
//   - click: from a synthetic left click on the icon to the popover's first frame (the first damage
//     to the popover window after it is mapped);
//   - close: from a click far away from the open popover to the popover window being unmapped;
//   - shortcut: from a synthetic Super+V (pressed and released) to the popover's first frame, once
//     the popover has been closed again;
//   - resident memory of the idle program, after docking and again after the popover was opened
//     and closed once.
// Each run is a fresh process. With a TEXT_FILE, xclip copies it once the icon is docked, and the
// click waits until the program has used no CPU for a whole second: the capture is over. Prints every sample
// and the medians.
//
//   shell_e2e_bench PATH_TO_TARNO [RUNS] [TEXT_FILE]
// Needs DISPLAY; starts trayer itself when no tray owns the selection.
#include <xcb/damage.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

pid_t spawn(const std::vector<std::string> &arguments, const std::vector<std::string> &extraEnvironment = {})
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char **e = environ; *e; ++e)
        environment.emplace_back(*e);
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char *> envp;
    for (std::string &entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

long residentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// utime + stime in clock ticks.
long cpuTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t end = text.rfind(')');
    if (end == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(end + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks += std::atol(field.c_str());
    }
    return ticks;
}

class Display
{
public:
    Display()
    {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "no X display\n");
            std::exit(1);
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const xcb_query_extension_reply_t *damage = xcb_get_extension_data(c, &xcb_damage_id);
        damageEvent = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }
    ~Display() { xcb_disconnect(c); }

    xcb_atom_t atom(const char *name)
    {
        auto *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : XCB_NONE;
        free(reply);
        return atom;
    }
    bool hasTray()
    {
        auto *reply = xcb_get_selection_owner_reply(
            c, xcb_get_selection_owner(c, atom("_NET_SYSTEM_TRAY_S0")), nullptr);
        const bool owned = reply && reply->owner != XCB_NONE;
        free(reply);
        return owned;
    }
    // The next event, or nothing once the deadline has passed.
    xcb_generic_event_t *next(Clock::time_point deadline)
    {
        while (Clock::now() < deadline) {
            if (xcb_generic_event_t *event = xcb_poll_for_event(c))
                return event;
            usleep(200);
        }
        return nullptr;
    }
    // Super+V as a user types it: Super down, V down and up, Super up.
    void pressShortcut()
    {
        xcb_key_symbols_t *symbols = xcb_key_symbols_alloc(c);
        xcb_keycode_t *super = xcb_key_symbols_get_keycode(symbols, 0xffeb); // Super_L
        xcb_keycode_t *v = xcb_key_symbols_get_keycode(symbols, 'v');
        if (super && v) {
            xcb_test_fake_input(c, XCB_KEY_PRESS, *super, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(c, XCB_KEY_PRESS, *v, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(c, XCB_KEY_RELEASE, *v, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_test_fake_input(c, XCB_KEY_RELEASE, *super, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
            xcb_flush(c);
        }
        free(super);
        free(v);
        xcb_key_symbols_free(symbols);
    }
    void click(int x, int y)
    {
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, root, static_cast<int16_t>(x),
                            static_cast<int16_t>(y), 0);
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(c);
    }

    xcb_connection_t *c;
    xcb_window_t root;
    uint8_t damageEvent = 0;
};

struct Run
{
    std::optional<double> startMs;
    std::optional<double> clickMs;
    std::optional<double> closeMs;
    std::optional<double> shortcutMs;
    long idleKiB = -1;
    long afterUseKiB = -1;
};

Run measure(Display &display, const std::string &app, const std::string &home, const std::string &textFile)
{
    Run run;
    // Drain what earlier runs left.
    while (xcb_generic_event_t *event = xcb_poll_for_event(display.c))
        free(event);

    // The previous run's copy is not this run's to read at start.
    if (!textFile.empty())
        waitpid(spawn({"sh", "-c", "echo reset | xclip -selection clipboard -i"}), nullptr, 0);

    const Clock::time_point launched = Clock::now();
    const pid_t pid =
        spawn({app}, {"HOME=" + home, "XDG_RUNTIME_DIR=" + home, "XDG_CONFIG_HOME=" + home + "/config"});
    if (pid <= 0)
        return run;

    std::set<xcb_window_t> created;
    std::map<xcb_window_t, xcb_damage_damage_t> damages;
    xcb_window_t icon = XCB_NONE;
    const Clock::time_point deadline = launched + std::chrono::seconds(10);
    // Every top-level window the program makes gets a damage watch; the icon is the one the tray
    // takes in, docked once it is mapped there.
    auto handle = [&](xcb_generic_event_t *event) {
        const uint8_t type = event->response_type & ~0x80;
        if (type == XCB_CREATE_NOTIFY) {
            const auto *create = reinterpret_cast<xcb_create_notify_event_t *>(event);
            if (create->parent == display.root) {
                created.insert(create->window);
                xcb_damage_damage_t damage = xcb_generate_id(display.c);
                xcb_damage_create(display.c, damage, create->window, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                damages[create->window] = damage;
                xcb_flush(display.c);
            }
        } else if (type == XCB_REPARENT_NOTIFY) {
            const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
            if (created.count(reparent->window) && reparent->parent != display.root) {
                icon = reparent->window;
                const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
                xcb_change_window_attributes(display.c, icon, XCB_CW_EVENT_MASK, &mask);
                xcb_flush(display.c);
                // It may have been mapped before the selection took effect.
                auto *attributes = xcb_get_window_attributes_reply(
                    display.c, xcb_get_window_attributes(display.c, icon), nullptr);
                if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && !run.startMs)
                    run.startMs = msSince(launched);
                free(attributes);
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
            if (map->window == icon && !run.startMs)
                run.startMs = msSince(launched);
        }
    };
    while (!run.startMs) {
        xcb_generic_event_t *event = display.next(deadline);
        if (!event)
            break;
        handle(event);
        free(event);
    }

    if (run.startMs) {
        // A second of idling, still taking note of the windows it makes.
        const Clock::time_point idleEnd = Clock::now() + std::chrono::seconds(1);
        while (xcb_generic_event_t *event = display.next(idleEnd)) {
            handle(event);
            free(event);
        }
        run.idleKiB = residentKiB(pid);
        if (!textFile.empty()) {
            const pid_t xclip = spawn({"sh", "-c", "xclip -selection clipboard -i < '" + textFile + "'"});
            waitpid(xclip, nullptr, 0);
            for (long last = -2, now = cpuTicks(pid); now != last; last = now, now = cpuTicks(pid)) {
                const Clock::time_point second = Clock::now() + std::chrono::seconds(1);
                while (xcb_generic_event_t *event = display.next(second)) {
                    handle(event);
                    free(event);
                }
            }
        }
        auto *position = xcb_translate_coordinates_reply(
            display.c, xcb_translate_coordinates(display.c, icon, display.root, 0, 0), nullptr);
        auto *geometry = xcb_get_geometry_reply(display.c, xcb_get_geometry(display.c, icon), nullptr);
        const Clock::time_point clicked = Clock::now();
        display.click(position->dst_x + geometry->width / 2, position->dst_y + geometry->height / 2);
        xcb_window_t popover = XCB_NONE;
        const Clock::time_point clickDeadline = clicked + std::chrono::seconds(5);
        while (!run.clickMs) {
            xcb_generic_event_t *event = display.next(clickDeadline);
            if (!event)
                break;
            const uint8_t type = event->response_type & ~0x80;
            if (type == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (created.count(map->window) && map->window != icon)
                    popover = map->window;
            } else if (type == display.damageEvent && popover != XCB_NONE) {
                const auto *damage = reinterpret_cast<xcb_damage_notify_event_t *>(event);
                if (damage->drawable == popover)
                    run.clickMs = msSince(clicked);
            }
            free(event);
        }
        free(position);
        free(geometry);
        // Close it again with a click far away, then let it settle.
        usleep(500'000);
        while (xcb_generic_event_t *event = xcb_poll_for_event(display.c))
            free(event);
        const Clock::time_point away = Clock::now();
        display.click(20, 1000);
        const Clock::time_point closeDeadline = away + std::chrono::seconds(5);
        while (!run.closeMs && popover != XCB_NONE) {
            xcb_generic_event_t *event = display.next(closeDeadline);
            if (!event)
                break;
            if ((event->response_type & ~0x80) == XCB_UNMAP_NOTIFY &&
                reinterpret_cast<xcb_unmap_notify_event_t *>(event)->window == popover)
                run.closeMs = msSince(away);
            free(event);
        }
        usleep(1'000'000);
        run.afterUseKiB = residentKiB(pid);

        // The same popover again, from the keyboard. Its damage so far is taken as seen, so the next
        // report is the first frame of this opening.
        if (run.closeMs) {
            xcb_damage_subtract(display.c, damages[popover], XCB_NONE, XCB_NONE);
            xcb_flush(display.c);
            usleep(200'000);
            while (xcb_generic_event_t *event = xcb_poll_for_event(display.c))
                free(event);
            bool mapped = false;
            const Clock::time_point pressed = Clock::now();
            display.pressShortcut();
            const Clock::time_point shortcutDeadline = pressed + std::chrono::seconds(5);
            while (!run.shortcutMs) {
                xcb_generic_event_t *event = display.next(shortcutDeadline);
                if (!event)
                    break;
                const uint8_t type = event->response_type & ~0x80;
                if (type == XCB_MAP_NOTIFY &&
                    reinterpret_cast<xcb_map_notify_event_t *>(event)->window == popover)
                    mapped = true;
                else if (type == display.damageEvent && mapped &&
                         reinterpret_cast<xcb_damage_notify_event_t *>(event)->drawable == popover)
                    run.shortcutMs = msSince(pressed);
                free(event);
            }
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PATH_TO_TARNO [RUNS] [TEXT_FILE]\n", argv[0]);
        return 2;
    }
    const std::string app = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 20;
    const std::string textFile = argc > 3 ? argv[3] : "";
    Display display;
    pid_t trayer = -1;
    if (!display.hasTray()) {
        trayer = spawn(
            {"trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "24"});
        for (int i = 0; i < 100 && !display.hasTray(); ++i)
            usleep(50'000);
    }
    char folder[] = "/tmp/tarno-bench-XXXXXX";
    const std::string home = mkdtemp(folder);

    std::vector<double> starts, clicks, closes, shortcuts, idle, afterUse;
    for (int i = 0; i < runs; ++i) {
        const Run run = measure(display, app, home, textFile);
        std::printf("run %2d: start %7.1f ms  click-to-first-frame %6.1f ms  close %6.1f ms  "
                    "shortcut-to-first-frame %6.1f ms  rss idle %6.1f MB  after use %6.1f MB\n",
                    i + 1, run.startMs.value_or(-1), run.clickMs.value_or(-1), run.closeMs.value_or(-1),
                    run.shortcutMs.value_or(-1), run.idleKiB / 1024.0, run.afterUseKiB / 1024.0);
        std::fflush(stdout);
        if (run.startMs)
            starts.push_back(*run.startMs);
        if (run.clickMs)
            clicks.push_back(*run.clickMs);
        if (run.closeMs)
            closes.push_back(*run.closeMs);
        if (run.shortcutMs)
            shortcuts.push_back(*run.shortcutMs);
        if (run.idleKiB > 0)
            idle.push_back(run.idleKiB / 1024.0);
        if (run.afterUseKiB > 0)
            afterUse.push_back(run.afterUseKiB / 1024.0);
        usleep(300'000);
    }
    std::printf(
        "median over %zu/%zu/%zu/%zu/%d runs: start to docked %.1f ms, click to first frame %.1f ms, "
        "close %.1f ms, shortcut to first frame %.1f ms, idle RSS %.1f MB, RSS after one open %.1f MB\n",
        starts.size(), clicks.size(), closes.size(), shortcuts.size(), runs, median(starts), median(clicks),
        median(closes), median(shortcuts), median(idle), median(afterUse));
    if (trayer > 0) {
        kill(trayer, SIGTERM);
        waitpid(trayer, nullptr, 0);
    }
    std::string cleanup = "rm -rf '" + home + "'";
    return std::system(cleanup.c_str()) == 0 && starts.size() == static_cast<size_t>(runs) ? 0 : 1;
}
