// The viewer every slideshow file starts with: it reads the pictures appended to its own
// executable and plays them full screen.

#include "slideshow/slideshow_format.h"
#include "viewer/full_screen_window.h"
#include "viewer/viewer_app.h"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include <langinfo.h>

namespace {

enum ExitCode { kDone = 0, kNoSlideshow = 1, kNoDisplay = 2, kBadPicture = 3, kFailure = 4 };

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

int main(int argc, char** argv) {
    const char* self = argc > 0 && argv[0] != nullptr ? BaseName(argv[0]) : "slideshow";
    try {
        // Our own file, whatever name or link started us.
        const pelisto::FileByteSource file("/proc/self/exe");
        pelisto::SlideshowLayout layout;
        try {
            layout = pelisto::ReadSlideshow(file);
        } catch (const pelisto::SlideshowError& e) {
            std::fprintf(stderr, "%s: no slideshow in this file: %s\n", self, e.what());
            return kNoSlideshow;
        }
        // Captions are UTF-8: the font set follows the locale's character type, so a UTF-8 one
        // is taken (the user's, else the C library's own); messages stay as they are.
        const char* ctype = std::setlocale(LC_CTYPE, "");
        if (ctype == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
            std::setlocale(LC_CTYPE, "C.UTF-8");
        }
        pelisto::FullScreenWindow window;
        pelisto::Viewer viewer(file, std::move(layout), window);
        viewer.Run();
        return kDone;
    } catch (const pelisto::SlideshowError& e) {
        std::fprintf(stderr, "%s: cannot read the slideshow: %s\n", self, e.what());
        return kNoSlideshow;
    } catch (const pelisto::DisplayError& e) {
        std::fprintf(stderr, "%s: %s\n", self, e.what());
        return kNoDisplay;
    } catch (const pelisto::PictureError& e) {
        std::fprintf(stderr, "%s: %s\n", self, e.what());
        return kBadPicture;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: out of memory\n", self);
        return kFailure;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", self, e.what());
        return kFailure;
    }
}
