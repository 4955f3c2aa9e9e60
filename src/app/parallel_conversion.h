#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace pelisto {

// What one worker thread converts with: made on that thread, used only there.
class PictureWorker {
public:
    virtual ~PictureWorker() = default;
    // Converts picture into a JPEG inside folder (ending in '/') and returns the JPEG's path.
    virtual QString Convert(const QString& picture, const QString& folder) = 0;
    // A flag that, once set, makes a conversion in progress give up at its next row; set before
    // the first conversion.
    virtual void SetCancelFlag(const std::atomic<bool>* /*cancel*/) {}
};
using PictureWorkerFactory = std::function<std::unique_ptr<PictureWorker>()>;

// The number of threads that converts at once when none is asked for: one per core.
int DefaultWorkerCount();

// Converts a list of pictures on several threads and hands the JPEGs out in list order. Each
// worker converts one picture at a time; a picture waits for its turn on disk as a JPEG, and a
// worker starts a new one only while fewer than twice as many as there are workers wait, so
// memory stays bounded. Destroying it stops the workers (after the pictures they are on). A
// cancel flag, once set, stops the conversions in progress at their next row and the rest
// before they start. A thread that cannot be started leaves the work to the others; none at all
// is an Exception.
class ParallelConversion {
public:
    // Raises an error when a worker thread cannot be started.
    ParallelConversion(const QStringList& pictures, int workers, const QString& scratchFolder,
                       PictureWorkerFactory factory, const std::atomic<bool>* cancel = nullptr);
    ~ParallelConversion();
    ParallelConversion(const ParallelConversion&) = delete;
    ParallelConversion& operator=(const ParallelConversion&) = delete;

    // Picture index's JPEG, asked for in list order (0, 1, 2, ...). The file stays until the
    // next call. A picture's error is raised here, in its turn; once cancelled, EAbort.
    QString Take(int index);

private:
    struct Result {
        bool done = false;
        QString jpeg;
        std::exception_ptr error;
    };
    void Work();
    void Stop();
    QString SlotFolder(int index) const;
    bool Cancelled() const { return cancel_ != nullptr && cancel_->load(); }

    // Read by every worker at once: never changed, and only read through const access (a
    // non-const access would detach the shared list on several threads together).
    const QStringList pictures_;
    const QString scratch_;
    const PictureWorkerFactory factory_;
    const std::atomic<bool>* const cancel_;
    int window_ = 1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Result> results_;
    int next_ = 0;     // the next picture a worker takes
    int consumed_ = 0; // pictures before this one are written out
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace pelisto
