// Times the Linux viewer stub as a user feels it: a slideshow of 24-megapixel photos played on
// the display in DISPLAY (run it under `xvfb-run -s "-screen 0 1920x1080x24"`). It measures the
// time to the first picture, each Space once the next picture had time to decode ahead, and
// each Space pressed the moment the previous picture appeared (nothing decoded ahead).
//
//   viewer_bench [stub] [pictures]    stub defaults to TheExe.run beside this program

#include "slideshow/slideshow_format.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <jpeglib.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 6000, kHeight = 4000;

struct Colour {
    int r, g, b;
};

Colour ColourOf(int index) {
    static const Colour colours[] = {{200, 40, 40},  {40, 200, 40},  {40, 40, 200},
                                     {200, 200, 40}, {40, 200, 200}, {200, 40, 200},
                                     {230, 130, 30}, {120, 120, 120}};
    return colours[index % 8];
}

// A photo-like picture: the picture's colour with a busy texture (so the JPEG is of a photo's
// size and decoding costs what a photo's does), flat in the middle where the screen is probed.
std::vector<std::uint8_t> MakeJpeg(int index) {
    const Colour c = ColourOf(index);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(kWidth * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const bool middle = std::abs(x - kWidth / 2) < 600 && std::abs(y - kHeight / 2) < 600;
            const int noise =
                middle ? 0 : static_cast<int>(((x * 7919u) ^ (y * 104729u)) % 61) - 30;
            row[x * 3 + 0] = static_cast<unsigned char>(std::clamp(c.r + noise, 0, 255));
            row[x * 3 + 1] = static_cast<unsigned char>(std::clamp(c.g + noise, 0, 255));
            row[x * 3 + 2] = static_cast<unsigned char>(std::clamp(c.b - noise, 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> jpeg(out, out + size);
    std::free(out);
    jpeg_destroy_compress(&cinfo);
    return jpeg;
}

bool Shows(Display* display, int index) {
    const Window root = DefaultRootWindow(display);
    const int x = DisplayWidth(display, DefaultScreen(display)) / 2;
    const int y = DisplayHeight(display, DefaultScreen(display)) / 2;
    XImage* image = XGetImage(display, root, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    const Colour want = ColourOf(index);
    const int r = static_cast<int>((pixel >> 16) & 0xFF), g = static_cast<int>((pixel >> 8) & 0xFF),
              b = static_cast<int>(pixel & 0xFF);
    return std::abs(r - want.r) < 20 && std::abs(g - want.g) < 20 && std::abs(b - want.b) < 20;
}

// Milliseconds until the screen's middle shows picture `index`, or -1 after 20 s.
double WaitFor(Display* display, int index, Clock::time_point since) {
    while (Clock::now() - since < std::chrono::seconds(20)) {
        if (Shows(display, index)) {
            return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return -1;
}

Window FindSlideshow(Display* display) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            char* name = nullptr;
            if (XFetchName(display, children[i], &name) && name != nullptr) {
                if (std::string(name) == "Slideshow") {
                    found = children[i];
                }
                XFree(name);
            }
        }
        XFree(children);
    }
    return found;
}

void Press(Display* display, Window window, KeySym sym) {
    XEvent event{};
    event.xkey.type = KeyPress;
    event.xkey.display = display;
    event.xkey.window = window;
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.keycode = XKeysymToKeycode(display, sym);
    event.xkey.same_screen = True;
    XSendEvent(display, window, True, KeyPressMask, &event);
    XFlush(display);
}

void Summary(const char* what, std::vector<double> times) {
    if (times.empty()) {
        return;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-44s median %7.1f ms, worst %7.1f ms (%zu)\n", what, times[times.size() / 2],
                times.back(), times.size());
}

} // namespace

int main(int argc, char** argv) {
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    const std::string stub = argc > 1 ? argv[1] : (self.parent_path() / "TheExe.run").string();
    const int count = argc > 2 ? std::max(2, std::atoi(argv[2])) : 6;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "no display: run under xvfb-run -s \"-screen 0 1920x1080x24\"\n");
        return 2;
    }
    std::printf("screen %d x %d, %d pictures of %d x %d, stub %s\n",
                DisplayWidth(display, DefaultScreen(display)),
                DisplayHeight(display, DefaultScreen(display)), count, kWidth, kHeight,
                stub.c_str());

    // The slideshow file: stub, pictures, trailer.
    const auto work =
        std::filesystem::temp_directory_path() / ("viewer_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(work);
    const auto show = work / "show.run";
    {
        std::ifstream in(stub, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        if (bytes.empty()) {
            std::fprintf(stderr, "cannot read the stub %s\n", stub.c_str());
            return 2;
        }
        std::ofstream out(show, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        pelisto::SlideshowTrailer trailer;
        trailer.stubLength = static_cast<std::uint32_t>(bytes.size());
        std::size_t total = 0;
        for (int i = 0; i < count; ++i) {
            const auto jpeg = MakeJpeg(i);
            total += jpeg.size();
            trailer.pictureLengths.push_back(static_cast<std::uint32_t>(jpeg.size()));
            out.write(reinterpret_cast<const char*>(jpeg.data()),
                      static_cast<std::streamsize>(jpeg.size()));
        }
        const auto tail = pelisto::EncodeTrailer(trailer);
        out.write(reinterpret_cast<const char*>(tail.data()),
                  static_cast<std::streamsize>(tail.size()));
        std::printf("pictures: %.1f MB of JPEG in all\n", total / 1e6);
    }
    std::filesystem::permissions(show, std::filesystem::perms::owner_all);
    // A warm run first, so the file is in the page cache as a played slideshow's would be.
    for (int run = 0; run < 2; ++run) {
        const auto start = Clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl(show.c_str(), show.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const double first = WaitFor(display, 0, start);
        Window window = 0;
        while (window == 0 && Clock::now() - start < std::chrono::seconds(5)) {
            window = FindSlideshow(display);
        }
        std::vector<double> ahead, rushed;
        int index = 0;
        bool failed = first < 0 || window == 0;
        // Twice round, wrapping, each Space after time enough to decode ahead...
        for (int step = 0; step < 2 * count && !failed; ++step) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            index = (index + 1) % count;
            const auto t = Clock::now();
            Press(display, window, XK_space);
            const double ms = WaitFor(display, index, t);
            failed = ms < 0;
            ahead.push_back(ms);
        }
        // ... then Spaces each pressed as soon as the last picture shows.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        for (int step = 0; step < count && !failed; ++step) {
            index = (index + 1) % count;
            const auto t = Clock::now();
            Press(display, window, XK_space);
            const double ms = WaitFor(display, index, t);
            failed = ms < 0;
            rushed.push_back(ms);
        }
        if (window != 0) {
            Press(display, window, XK_Escape);
        }
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(child, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        if (::waitpid(child, &status, WNOHANG) == 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        if (failed) {
            std::fprintf(stderr, "the slideshow did not show the expected picture\n");
            std::filesystem::remove_all(work);
            return 1;
        }
        if (run == 1) {
            std::printf("%-44s %7.1f ms\n", "first picture", first);
            Summary("Space, next picture had time to decode", ahead);
            Summary("Space as soon as the last one shows", rushed);
        }
    }
    std::filesystem::remove_all(work);
    XCloseDisplay(display);
    return 0;
}
