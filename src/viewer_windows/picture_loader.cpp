#include "viewer_windows/picture_loader.h"

#include <new>
#include <stdexcept>

namespace pelisto {

struct PictureLoader::Job {
    HWND window = nullptr;
    int index = 0;
    bool ahead = false;
    std::vector<std::uint8_t> jpeg;
    std::unique_ptr<DecodedPicture> picture;
    std::string error;
};

namespace {

DWORD WINAPI Decode(void* parameter) {
    auto* job = static_cast<PictureLoader::Job*>(parameter);
    try {
        job->picture = std::make_unique<DecodedPicture>(job->jpeg);
    } catch (const PictureDecodeError& e) {
        job->error = e.what();
    } catch (const std::bad_alloc&) {
        job->error = "not enough memory";
    } catch (const std::exception& e) {
        job->error = e.what();
    }
    std::vector<std::uint8_t>().swap(job->jpeg);
    DecodeEnded();
    // When the window is gone the program is ending and GDI+ may be shut down already: the
    // job, picture and all, is left for the process's end to free.
    PostMessageW(job->window, PictureLoader::kDoneMessage, 0, reinterpret_cast<LPARAM>(job));
    return 0;
}

} // namespace

PictureLoader::PictureLoader() = default;
PictureLoader::~PictureLoader() = default;

void PictureLoader::Request(HWND window, int index, std::vector<std::uint8_t> jpeg, bool ahead) {
    auto job = std::make_unique<Job>();
    job->window = window;
    job->index = index;
    job->ahead = ahead;
    job->jpeg = std::move(jpeg);
    if (running_ && runningIndex_ == index) {
        waiting_.reset();
    } else if (running_) {
        waiting_ = std::move(job);
    } else {
        Launch(std::move(job));
    }
}

int PictureLoader::Pending() const {
    return waiting_ ? waiting_->index : running_ ? runningIndex_ : -1;
}

void PictureLoader::Launch(std::unique_ptr<Job> job) {
    const int index = job->index;
    // Counted before the thread exists: the program may end before it runs.
    DecodeStarting();
    HANDLE thread = CreateThread(nullptr, 0, Decode, job.get(), 0, nullptr);
    if (thread == nullptr) {
        DecodeEnded();
        throw std::runtime_error("cannot start decoding the picture");
    }
    job.release(); // the thread owns it until it posts it back
    CloseHandle(thread);
    running_ = true;
    runningIndex_ = index;
}

PictureLoader::Result PictureLoader::Finished(LPARAM parameter) {
    std::unique_ptr<Job> job(reinterpret_cast<Job*>(parameter));
    running_ = false;
    runningIndex_ = -1;
    if (waiting_) {
        Launch(std::move(waiting_));
    }
    return Result{job->index, job->ahead, std::move(job->picture), std::move(job->error)};
}

} // namespace pelisto
