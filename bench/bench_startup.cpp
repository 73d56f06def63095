// Launch to mapped main window: the program on a first start (guide window shown, start-up requests
// to the demo shop) and on a start with settings, beside a bare Qt main window, in one run on one X
// server. A window counts as mapped when the X server reports it mapped with the main window's title.
//   bench-startup RUNS BARE_WINDOW_PROGRAM TOVARI_PROGRAM [BARE_WINDOW_WITH_LIBRARIES]
// The last, the bare window with the program's libraries loaded, shows what loading them costs alone.
// DISPLAY names the X server (no window manager: the bench times the programs, not a window manager).
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const std::string kTitle = "Velmo.ネットの写真屋さん トヴァリ v20080101";

struct Display {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netWmName = 0, utf8 = 0;

    Display()
    {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c)) {
            std::fprintf(stderr, "bench-startup: cannot open the display\n");
            std::exit(1);
        }
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
        netWmName = Atom("_NET_WM_NAME");
        utf8 = Atom("UTF8_STRING");
    }
    ~Display() { xcb_disconnect(c); }

    xcb_atom_t Atom(const char* name)
    {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = r ? r->atom : 0;
        std::free(r);
        return atom;
    }

    std::string Title(xcb_window_t w)
    {
        xcb_get_property_reply_t* r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, netWmName, utf8, 0, 1024), nullptr);
        std::string title = r ? std::string(static_cast<const char*>(xcb_get_property_value(r)),
                                             size_t(xcb_get_property_value_length(r)))
                              : std::string();
        std::free(r);
        return title;
    }

    // Seconds until a window with the main window's title is mapped, or a negative number after 30 s.
    double WaitForMainWindow(Clock::time_point start)
    {
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        for (;;) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
                const bool mapped = (e->response_type & 0x7f) == XCB_MAP_NOTIFY;
                const xcb_window_t w = mapped ? reinterpret_cast<xcb_map_notify_event_t*>(e)->window : 0;
                std::free(e);
                if (mapped && Title(w) == kTitle)
                    return std::chrono::duration<double>(Clock::now() - start).count();
            }
            const auto left = std::chrono::seconds(30) - (Clock::now() - start);
            if (left <= Clock::duration::zero() ||
                poll(&fd, 1, int(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1) < 0)
                return -1;
        }
    }
};

// One launch: a private home (with settings when given), the time to the mapped main window, then the end.
double Launch(Display& display, const std::string& program, const std::string& settings)
{
    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("bench-startup-" + std::to_string(getpid()));
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home / "data" / "tovari");
    std::filesystem::permissions(home, std::filesystem::perms::owner_all);  // Qt wants a private runtime folder
    if (!settings.empty())
        std::ofstream(home / "data" / "tovari" / "tovari.ini", std::ios::binary) << settings;
    std::vector<std::string> env = {"HOME=" + home.string(), "XDG_DATA_HOME=" + (home / "data").string(),
                                    "XDG_CONFIG_HOME=" + (home / "config").string(),
                                    "XDG_CACHE_HOME=" + (home / "cache").string(), "XDG_RUNTIME_DIR=" + home.string(),
                                    "QT_QPA_PLATFORM=xcb"};
    for (char** e = environ; *e; ++e) {
        const std::string_view v(*e);
        if (!v.starts_with("HOME=") && !v.starts_with("XDG_") && !v.starts_with("QT_QPA_PLATFORM="))
            env.push_back(*e);
    }
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string path = program;
    char* argv[] = {path.data(), nullptr};

    xcb_flush(display.c);
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    const double seconds = display.WaitForMainWindow(start);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(home);
    return seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: bench-startup RUNS BARE_WINDOW_PROGRAM TOVARI_PROGRAM [BARE_WINDOW_WITH_LIBRARIES]\n");
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
    const std::string settings =
        "[MAIN]\r\nWindowTop=100\r\nWindowLeft=100\r\nWindowWidth=613\r\nWindowHeight=568\r\nNaviWindowTop=410\r\n"
        "NaviWindowLeft=100\r\nNavigateWindow=0\r\nPcViewWidth=160\r\nAlbumViewWidth=160\r\n[NETWORK]\r\n"
        "QmoSessionId=\r\n[PLUGIN]\r\nSpi=0\r\nSpiFolder=\r\n";
    Display display;
    struct Kind {
        const char* name;
        std::string program, settings;
        std::vector<double> seconds;
    };
    std::vector<Kind> kinds = {{"bare Qt window", argv[2], "", {}},
                               {"tovari, first start", argv[3], "", {}},
                               {"tovari, with settings", argv[3], settings, {}}};
    if (argc == 5)
        kinds.push_back({"bare, tovari's libraries", argv[4], "", {}});
    // Warm the file cache once, then take turns so that drift in the machine hits all three alike.
    for (Kind& k : kinds)
        Launch(display, k.program, k.settings);
    for (int r = 0; r < runs; ++r)
        for (Kind& k : kinds) {
            const double s = Launch(display, k.program, k.settings);
            if (s < 0) {
                std::fprintf(stderr, "bench-startup: %s mapped no main window within 30 s\n", k.name);
                return 1;
            }
            k.seconds.push_back(s);
        }
    const double bare = Median(kinds[0].seconds);
    std::printf("%-24s %10s %8s   (median of %d launches, launch to mapped main window)\n", "", "seconds", "x bare", runs);
    for (const Kind& k : kinds)
        std::printf("%-24s %10.4f %8.2f\n", k.name, Median(k.seconds), Median(k.seconds) / bare);
    return 0;
}
