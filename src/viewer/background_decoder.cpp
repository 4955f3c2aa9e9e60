#include "viewer/background_decoder.h"

#include "viewer/picture_scaler.h"

#include <cerrno>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <unistd.h>

namespace pelisto {

BackgroundDecoder::BackgroundDecoder() {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create a pipe for the picture decoder");
    }
}

BackgroundDecoder::~BackgroundDecoder() {
    Cancel();
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void BackgroundDecoder::Start(std::vector<std::uint8_t> jpeg, int wantWidth, int wantHeight,
                              int fitWidth, int fitHeight) {
    Cancel();
    cancel_ = false;
    worker_ = std::thread(&BackgroundDecoder::Work, this, std::move(jpeg), wantWidth, wantHeight,
                          fitWidth, fitHeight);
}

void BackgroundDecoder::Cancel() {
    if (worker_.joinable()) {
        cancel_ = true;
        worker_.join();
    }
    const std::lock_guard lock(mutex_);
    result_.reset();
    DrainPipe();
}

std::optional<BackgroundDecoder::Result> BackgroundDecoder::TakeResult() {
    DrainPipe();
    std::optional<Result> result;
    {
        const std::lock_guard lock(mutex_);
        result.swap(result_);
    }
    if (result && worker_.joinable()) {
        worker_.join(); // it has stored its result and is ending
    }
    return result;
}

void BackgroundDecoder::Work(std::vector<std::uint8_t> jpeg, int wantWidth, int wantHeight,
                             int fitWidth, int fitHeight) {
    Result result;
    try {
        result.picture = DecodeJpeg(jpeg, wantWidth, wantHeight, &cancel_);
        AddHalvings(result.picture, fitWidth, fitHeight);
    } catch (const JpegDecodeCancelled&) {
        return;
    } catch (const JpegDecodeError& e) {
        result.error = e.what();
    } catch (const std::bad_alloc&) {
        result.error = "not enough memory";
    } catch (const std::exception& e) {
        result.error = e.what();
    }
    jpeg.clear();
    jpeg.shrink_to_fit();
    {
        const std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    const char wake = 1;
    while (::write(pipe_[1], &wake, 1) < 0 && errno == EINTR) {
    }
}

void BackgroundDecoder::DrainPipe() {
    char buffer[16];
    while (::read(pipe_[0], buffer, sizeof buffer) > 0) {
    }
}

} // namespace pelisto
