// Converting a large photo to JPEG through the picture control, against bare libjpeg-turbo at the
// same settings (quality 75, optimised Huffman tables, no smoothing).
//
// Usage: picture_bench [width height]   (6000 x 4000 by default)
// Each way runs in its own child process, so that their memory peaks stay apart; each reports
// the best of three runs.

#include "framework/graphics/magick_startup.h"
#include "picture/multi_picture.h"

#include <QApplication>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kQuality = 75;
constexpr int kRuns = 3;

// A photo-like picture: smooth gradients, sensor-like noise and a few hard-edged shapes.
std::vector<std::uint8_t> MakePhoto(int width, int height) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(width) * height * 3);
    std::uint32_t state = 2463534242u;
    const auto noise = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<int>(state % 17) - 8;
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            int r = static_cast<int>(200 * u + 40 * std::sin(v * 9));
            int g = static_cast<int>(160 * v + 60 * std::cos(u * 7));
            int b = static_cast<int>(120 + 100 * std::sin((u + v) * 5));
            // Shapes: a disc and a bar.
            const double dx = u - 0.3, dy = v - 0.4;
            if (dx * dx + dy * dy < 0.02) {
                r = 230, g = 40, b = 30;
            }
            if (u > 0.6 && u < 0.8 && v > 0.2 && v < 0.7) {
                r = 20, g = 30, b = 200 + static_cast<int>(50 * v);
            }
            std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(r + noise(), 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(g + noise(), 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(b + noise(), 0, 255));
        }
    }
    return rgb;
}

bool WriteJpeg(const char* path, const std::uint8_t* pixels, int width, int height,
               J_COLOR_SPACE space, int quality, bool optimise) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.smoothing_factor = 0;
    cinfo.optimize_coding = optimise ? TRUE : FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

// Bare libjpeg-turbo: decode the whole picture into one buffer, encode it again.
bool BareConvert(const char* in, const char* out) {
    std::FILE* file = std::fopen(in, "rb");
    if (file == nullptr) {
        return false;
    }
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    const std::size_t stride = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> pixels(stride * height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + cinfo.output_scanline * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    return WriteJpeg(out, pixels.data(), width, height, JCS_EXT_BGR, kQuality, true);
}

// The tool's way: load into the control (as the work buffer does), save as JPEG.
bool ControlConvert(pelisto::TMultiPicture& control, const char* in, const char* out) {
    control.SetImageName(QString::fromLocal8Bit(in));
    if (control.HeldBitmap() == nullptr) {
        return false;
    }
    return control.SaveAsJpeg(QString::fromLocal8Bit(out));
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Child process: runs one way kRuns times and writes the best time (seconds) to fd.
int RunChild(const std::string& way, const char* in, const char* out, int fd) {
    pelisto::StartMagick({});
    double best = 1e30;
    bool ok = true;
    if (way == "control") {
        int argc = 1;
        char name[] = "picture_bench";
        char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        pelisto::TMultiPicture control;
        control.Loaded();
        control.SetJPegSaveQuality(kQuality);
        // A new control's smoothing is 0, as the bare run uses; writing 0 would store 5.
        if (control.JPegSaveSmooth() != 0) {
            std::fprintf(stderr, "unexpected smoothing %d\n", control.JPegSaveSmooth());
            return 1;
        }
        for (int i = 0; i < kRuns && ok; ++i) {
            control.SetImageName(QString());
            const auto start = std::chrono::steady_clock::now();
            ok = ControlConvert(control, in, out);
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        }
    } else if (way == "bare") {
        for (int i = 0; i < kRuns && ok; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ok = BareConvert(in, out);
            best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
        }
    } else if (way == "idle") {
        // The control's process without any picture: the fixed part of its memory.
        int argc = 1;
        char name[] = "picture_bench";
        char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        pelisto::TMultiPicture control;
        control.Loaded();
        best = 0;
    }
    if (!ok) {
        std::fprintf(stderr, "%s conversion failed\n", way.c_str());
        return 1;
    }
    if (write(fd, &best, sizeof(best)) != static_cast<ssize_t>(sizeof(best))) {
        return 1;
    }
    return 0;
}

struct Result {
    double seconds = 0;
    long peakKb = 0;
    bool ok = false;
};

Result Spawn(const char* self, const char* way, const std::string& in, const std::string& out) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string fd = std::to_string(fds[1]);
        execl(self, self, "--child", way, in.c_str(), out.c_str(), fd.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    Result result;
    const bool read_ok = read(fds[0], &result.seconds, sizeof(result.seconds)) ==
                         static_cast<ssize_t>(sizeof(result.seconds));
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.peakKb = usage.ru_maxrss;
    result.ok = read_ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0) {
        return RunChild(argv[2], argv[3], argv[4], std::atoi(argv[5]));
    }
    const int width = argc >= 3 ? std::atoi(argv[1]) : 6000;
    const int height = argc >= 3 ? std::atoi(argv[2]) : 4000;
    char folder[] = "/tmp/picture_bench.XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string source = std::string(folder) + "/photo.jpg";
    const std::string viaControl = std::string(folder) + "/control.jpg";
    const std::string viaBare = std::string(folder) + "/bare.jpg";
    {
        const std::vector<std::uint8_t> photo = MakePhoto(width, height);
        if (!WriteJpeg(source.c_str(), photo.data(), width, height, JCS_RGB, 90, false)) {
            std::fprintf(stderr, "cannot write %s\n", source.c_str());
            return 1;
        }
    }
    char self[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
        return 1;
    }
    const Result idle = Spawn(self, "idle", source, viaControl);
    const Result bare = Spawn(self, "bare", source, viaBare);
    const Result control = Spawn(self, "control", source, viaControl);
    std::remove(source.c_str());
    std::remove(viaControl.c_str());
    std::remove(viaBare.c_str());
    rmdir(folder);
    if (!idle.ok || !bare.ok || !control.ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double decodedMb = width * 3.0 * height / 1e6;
    const double ratio = control.seconds / bare.seconds;
    const double peakMb = control.peakKb * 1024.0 / 1e6;
    const double aboveIdleMb = (control.peakKb - idle.peakKb) * 1024.0 / 1e6;
    std::printf(
        "picture %d x %d, decoded 24-bit %.1f MB; JPEG quality %d, optimised, smoothing 0\n", width,
        height, decodedMb, kQuality);
    std::printf("bare libjpeg-turbo : %7.3f s  peak %7.1f MB\n", bare.seconds,
                bare.peakKb * 1024.0 / 1e6);
    std::printf("picture control    : %7.3f s  peak %7.1f MB (%.1f MB above its idle process "
                "of %.1f MB)\n",
                control.seconds, peakMb, aboveIdleMb, idle.peakKb * 1024.0 / 1e6);
    std::printf("time ratio         : %.3f (target at most 1.25)\n", ratio);
    std::printf("peak / decoded     : %.2f (target at most 3), above idle %.2f\n",
                peakMb / decodedMb, aboveIdleMb / decodedMb);
    return 0;
}
