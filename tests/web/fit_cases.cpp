// Prints the screen fit's answers for many picture and screen sizes, as JSON, for the browser
// test to compare with the web page's own fit: {"fit": [[pw, ph, ww, wh, left, top, w, h]...],
// "zoom": [[pw, ph, current, step, ww, wh, w, h]...]}; with a picture's and a screen's size as
// arguments, that one rectangle.
#include "slideshow/screen_fit.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A fixed sequence, so every run asks the same questions.
std::uint64_t state = 0x9E3779B97F4A7C15ULL;
int Random(int low, int high) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return low + static_cast<int>((state >> 33) % static_cast<std::uint64_t>(high - low + 1));
}

} // namespace

int main(int argc, char** argv) {
    using pelisto::FitRect;
    if (argc == 5) {
        // One picture on one screen: left top width height.
        const pelisto::PictureRect r =
            FitRect(std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
        std::printf("%d %d %d %d\n", r.left, r.top, r.width, r.height);
        return 0;
    }
    using pelisto::ZoomSize;
    const int screens[][2] = {{1280, 720}, {1170, 2532}, {2532, 1170}, {3840, 2160},
                              {1024, 768}, {1920, 1080}, {1, 1}};
    std::vector<std::vector<int>> fit;
    std::vector<std::vector<int>> zoom;
    const auto addFit = [&](int pw, int ph, int ww, int wh) {
        const pelisto::PictureRect r = FitRect(pw, ph, ww, wh);
        fit.push_back({pw, ph, ww, wh, r.left, r.top, r.width, r.height});
    };
    const auto addZoom = [&](int pw, int ph, int current, int step, int ww, int wh) {
        const pelisto::PictureSize z = ZoomSize(pw, ph, current, step, ww, wh);
        zoom.push_back({pw, ph, current, step, ww, wh, z.width, z.height});
    };
    for (const auto& s : screens) {
        const int ww = s[0];
        const int wh = s[1];
        // Natural size, exactly the screen, one pixel over, thin strips, the largest pictures.
        for (const auto& p : std::vector<std::vector<int>>{{ww, wh},
                                                           {ww + 1, wh},
                                                           {ww, wh + 1},
                                                           {800, 1000},
                                                           {200, 100},
                                                           {1, 30000},
                                                           {30000, 1},
                                                           {30000, 8333},
                                                           {8192, 6143},
                                                           {16384, 9},
                                                           {4096, 3073}}) {
            addFit(p[0], p[1], ww, wh);
        }
        for (int i = 0; i < 300; ++i) {
            const int limit = i % 2 == 0 ? 8000 : 30000;
            addFit(Random(1, limit), Random(1, limit), ww, wh);
        }
        // Even sides whose heights land on halves, where the rounding rule shows.
        for (int i = 0; i < 60; ++i) {
            addFit(2 * Random(1, 6000), 2 * Random(1, 6000) + 1, ww, wh);
        }
        for (int i = 0; i < 40; ++i) {
            const int pw = Random(1, 12000);
            const int ph = Random(1, 12000);
            const int current = FitRect(pw, ph, ww, wh).width;
            for (const int step : {pelisto::kZoomStep, -pelisto::kZoomStep, 0}) {
                addZoom(pw, ph, current, step, ww, wh);
            }
        }
    }
    // Zooming stops at the limits: the smallest width and the largest side.
    addZoom(800, 600, 150, -pelisto::kZoomStep, 1024, 768);
    addZoom(800, 600, 200, -pelisto::kZoomStep, 1024, 768);
    addZoom(1000, 10, pelisto::kMaxZoomExtent - 50, pelisto::kZoomStep, 1024, 768);
    addZoom(10, 1000, 10400, pelisto::kZoomStep, 1024, 768);

    const auto print = [](const char* name, const std::vector<std::vector<int>>& rows, bool last) {
        std::printf("\"%s\": [", name);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::printf(i == 0 ? "[" : ",\n[");
            for (std::size_t j = 0; j < rows[i].size(); ++j) {
                std::printf(j == 0 ? "%d" : ", %d", rows[i][j]);
            }
            std::printf("]");
        }
        std::printf("]%s\n", last ? "" : ",");
    };
    std::printf("{");
    print("fit", fit, false);
    print("zoom", zoom, true);
    std::printf("}\n");
    return 0;
}
