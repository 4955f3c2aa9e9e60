#pragma once

#include "viewer_windows/gdiplus_picture.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace pelisto {

// Decodes pictures on a worker thread, so the window keeps answering keys (Escape above all)
// while a large one decodes. GDI+ cannot stop a decode part-way, so one runs at a time: a
// request made meanwhile waits, replacing any request already waiting, and the result of a
// decode nobody waits for any more is dropped. A decode still running when the program ends is
// ended with the process (GdiplusSession leaves GDI+ up for it).
class PictureLoader {
public:
    // Posted to the window with the finished job in LPARAM; hand it to Finished.
    static constexpr UINT kDoneMessage = WM_APP + 1;

    struct Result {
        int index = 0;
        std::unique_ptr<DecodedPicture> picture; // null when `error` says why not
        std::string error;
    };

    struct Job; // one decode, owned by its thread while it runs

    PictureLoader();
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    // Throws std::runtime_error when no thread can be started.
    void Request(HWND window, int index, std::vector<std::uint8_t> jpeg);
    // The result of the latest request, or nullopt for an outdated one (the waiting request,
    // if any, starts now). Throws std::runtime_error when no thread can be started.
    std::optional<Result> Finished(LPARAM job);

private:
    void Launch(std::unique_ptr<Job> job);

    bool running_ = false;
    int latest_ = -1; // the index the window waits for
    std::unique_ptr<Job> waiting_;
};

} // namespace pelisto
