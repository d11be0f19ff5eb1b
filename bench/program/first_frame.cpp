// How long a script waits for its recording to begin, as the person watching the screen would judge it:
// from the moment `zelq-screenrec --record-full` is started to the moment of the screen that the file's
// first frame shows. A window over the middle of the screen shows the milliseconds since the command was
// started as sixteen black or white bars (bit 15 on the left), redrawn as fast as the X server takes it;
// the file's first frame, decoded by ffmpeg, says which of those moments it caught.
//
// Usage: first_frame PROGRAM OUTPUT.avi   (on the X display the program records; prints one line)
// Single-threaded.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr int kBits = 16;
constexpr int kBarWidth = 100;
constexpr int kLeft = 160, kTop = 340, kHeight = 400;

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// Draws `value` as bars and returns once the X server has drawn them.
void show(xcb_connection_t* c, xcb_window_t w, xcb_gcontext_t white, xcb_gcontext_t black, unsigned value) {
    for (int bit = 0; bit < kBits; ++bit) {
        const bool on = (value >> (kBits - 1 - bit)) & 1U;
        const xcb_rectangle_t bar{static_cast<std::int16_t>(bit * kBarWidth), 0, kBarWidth, kHeight};
        xcb_poly_fill_rectangle(c, w, on ? white : black, 1, &bar);
    }
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

// The value the bars of the file's first frame show, read by ffmpeg as grey pixels; -1 when unreadable.
long firstFrameValue(const std::string& avi) {
    const std::string command =
        "ffmpeg -nostdin -v error -i '" + avi + "' -frames:v 1 -f rawvideo -pix_fmt gray -";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe)
        return -1;
    std::vector<unsigned char> grey;
    unsigned char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        grey.insert(grey.end(), buffer, buffer + n);
    constexpr int kWidth = 1920;
    if (grey.size() < static_cast<std::size_t>(kWidth) * (kTop + kHeight))
        return -1;
    long value = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const std::size_t at =
            static_cast<std::size_t>(kTop + kHeight / 2) * kWidth + kLeft + bit * kBarWidth + kBarWidth / 2;
        value = value * 2 + (grey[at] > 128 ? 1 : 0);
    }
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: first_frame PROGRAM OUTPUT.avi\n");
        return 2;
    }
    Connection c(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(c.get())) {
        std::fprintf(stderr, "first_frame: no X display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
    const xcb_window_t w = xcb_generate_id(c.get());
    const std::uint32_t values[] = {screen->black_pixel, 1};
    xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, w, screen->root, kLeft, kTop, kBits * kBarWidth, kHeight,
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c.get(), w);
    const xcb_gcontext_t white = xcb_generate_id(c.get()), black = xcb_generate_id(c.get());
    xcb_create_gc(c.get(), white, w, XCB_GC_FOREGROUND, &screen->white_pixel);
    xcb_create_gc(c.get(), black, w, XCB_GC_FOREGROUND, &screen->black_pixel);
    show(c.get(), w, white, black, 0);

    const std::string output = "--output=" + std::string(argv[2]);
    char* args[] = {argv[1],
                    const_cast<char*>("--record-full"),
                    const_cast<char*>("--duration=1"),
                    const_cast<char*>("--wait"),
                    const_cast<char*>(output.c_str()),
                    nullptr};
    const auto started = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[1], nullptr, nullptr, args, environ) != 0) {
        std::fprintf(stderr, "first_frame: cannot start %s\n", argv[1]);
        return 1;
    }
    int status = 0;
    const auto since = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                     started)
            .count();
    };
    // A millisecond's rest between pictures: the bars stay that exact, and the X server is left the time
    // to serve the program too.
    while (waitpid(child, &status, WNOHANG) == 0) {
        show(c.get(), w, white, black, static_cast<unsigned>(since()));
        usleep(1000);
    }
    const long wall = since();
    const long first = firstFrameValue(argv[2]);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || first < 0) {
        std::fprintf(stderr, "first_frame: the recording failed or its first frame cannot be read\n");
        return 1;
    }
    // The command's whole time less the file's second: the bound a script could measure on its own.
    std::printf("first frame %ld ms after the command; the command took %ld ms for 1 s of file\n", first,
                wall);
    return 0;
}
