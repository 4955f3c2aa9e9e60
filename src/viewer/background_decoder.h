#pragma once

#include "viewer/jpeg_decoder.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelisto {

// Decodes one picture at a time on a worker thread, so the window keeps answering keys while
// a large picture decodes. The finished result is announced on a pipe the event loop polls
// beside the display's connection; the worker never touches the display.
class BackgroundDecoder {
public:
    struct Result {
        DecodedPicture picture;
        std::string error; // non-empty: the picture cannot be shown, and why
    };

    // Throws std::runtime_error when no pipe can be made.
    BackgroundDecoder();
    ~BackgroundDecoder(); // cancels a running decode
    BackgroundDecoder(const BackgroundDecoder&) = delete;
    BackgroundDecoder& operator=(const BackgroundDecoder&) = delete;

    // Starts decoding `jpeg` to cover (wantWidth, wantHeight), with halvings down to the fitted
    // size (fitWidth, fitHeight), cancelling any decode running.
    void Start(std::vector<std::uint8_t> jpeg, int wantWidth, int wantHeight, int fitWidth,
               int fitHeight);
    // Stops a running decode (within one row of blocks) and waits for the worker to end.
    void Cancel();
    bool Busy() const { return worker_.joinable(); }

    // Readable once a result is ready.
    int WakeFd() const { return pipe_[0]; }
    // After WakeFd turned readable: the finished decode, if it was not cancelled meanwhile.
    std::optional<Result> TakeResult();

private:
    void Work(std::vector<std::uint8_t> jpeg, int wantWidth, int wantHeight, int fitWidth,
              int fitHeight);
    void DrainPipe();

    int pipe_[2] = {-1, -1};
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;
    std::optional<Result> result_; // guarded by mutex_
};

} // namespace pelisto
