#pragma once

#include "viewer_windows/gdiplus_picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace pelisto {

// Decodes pictures on a worker thread, so the window keeps answering keys (Escape above all)
// while a large one decodes. GDI+ cannot stop a decode part-way, so one runs at a time: a
// request made meanwhile waits, replacing any request already waiting (a request for the
// picture already decoding just lets it run). Every finished decode is handed back; the window
// keeps what it still wants. A decode still running when the program ends is ended with the
// process (GdiplusSession leaves GDI+ up for it).
class PictureLoader {
public:
    // Posted to the window with the finished job in LPARAM; hand it to Finished.
    static constexpr UINT kDoneMessage = WM_APP + 1;

    struct Result {
        int index = 0;
        bool ahead = false; // asked for ahead of the user, while the neighbours were kept
        std::unique_ptr<DecodedPicture> picture; // null when `error` says why not
        std::string error;
    };

    struct Job; // one decode, owned by its thread while it runs

    PictureLoader();
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    // Throws std::runtime_error when no thread can be started.
    void Request(HWND window, int index, std::vector<std::uint8_t> jpeg, bool ahead);
    // The finished decode; the waiting request, if any, starts now. Throws std::runtime_error
    // when no thread can be started.
    Result Finished(LPARAM job);

    bool Busy() const { return running_; }
    // The picture decoding now, else the one waiting; -1 when idle.
    int Pending() const;

private:
    void Launch(std::unique_ptr<Job> job);

    bool running_ = false;
    int runningIndex_ = -1;
    std::unique_ptr<Job> waiting_;
};

} // namespace pelisto
