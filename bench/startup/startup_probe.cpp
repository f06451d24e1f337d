// startup_probe PROGRAM [ARG...]: starts PROGRAM and prints the microseconds
// from just before its exec to the mapping of its first top-level window on
// the X display in DISPLAY, then ends it. Meant for a private display on which
// nothing else maps windows. Exits 1 when the program ends or 20 s pass first.
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern char **environ;

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: startup_probe PROGRAM [ARG...]\n");
        return 2;
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "startup_probe: cannot open the display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(connection, xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask));

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "startup_probe: cannot start %s\n", argv[1]);
        return 1;
    }

    bool mapped = false;
    Clock::time_point shown;
    pollfd fd{xcb_get_file_descriptor(connection), POLLIN, 0};
    while (!mapped && Clock::now() - start < std::chrono::seconds(20)) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && !mapped) {
                shown = Clock::now();
                mapped = true;
            }
            std::free(event);
        }
        if (mapped || waitpid(child, nullptr, WNOHANG) == child) {
            if (!mapped)
                child = 0;
            break;
        }
        poll(&fd, 1, 50);
    }
    xcb_disconnect(connection);

    if (child != 0) {
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
    }
    if (!mapped) {
        std::fprintf(stderr, "startup_probe: %s showed no window\n", argv[1]);
        return 1;
    }
    std::printf("%lld\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::microseconds>(shown - start).count()));
    return 0;
}
