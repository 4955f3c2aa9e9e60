#include "app/parallel_conversion.h"

#include "app/signal_cleanup.h"
#include "framework/exceptions.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <system_error>

namespace pelisto {

int DefaultWorkerCount() {
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

ParallelConversion::ParallelConversion(const QStringList& pictures, int workers,
                                       const QString& scratchFolder, PictureWorkerFactory factory,
                                       const std::atomic<bool>* cancel)
    : pictures_(pictures), scratch_(scratchFolder), factory_(std::move(factory)), cancel_(cancel),
      results_(static_cast<std::size_t>(pictures.size())) {
    workers = std::clamp(workers, 1, std::max(1, static_cast<int>(pictures.size())));
    window_ = 2 * workers;
    {
        // One step against an interrupt, which removes the scratch folder and must not find it
        // made again behind it.
        const TerminationHeld held;
        for (int slot = 0; slot < window_; ++slot) {
            QDir().mkpath(SlotFolder(slot));
        }
    }
    threads_.reserve(static_cast<std::size_t>(workers));
    QString failure;
    for (int i = 0; i < workers; ++i) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error& e) {
            // Out of threads (a limit, or memory): the ones started do the work.
            failure = QString::fromLocal8Bit(e.what());
            break;
        }
    }
    if (threads_.empty()) {
        for (int slot = 0; slot < window_; ++slot) {
            QDir(SlotFolder(slot)).removeRecursively();
        }
        throw Exception(
            QStringLiteral("No thread could be started to convert the pictures: %1").arg(failure));
    }
}

ParallelConversion::~ParallelConversion() {
    Stop();
}

void ParallelConversion::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) {
        t.join();
    }
    for (int slot = 0; slot < window_; ++slot) {
        QDir(SlotFolder(slot)).removeRecursively();
    }
}

QString ParallelConversion::SlotFolder(int index) const {
    return scratch_ + QStringLiteral("/%1/").arg(index % window_);
}

void ParallelConversion::Work() {
    std::unique_ptr<PictureWorker> worker;
    std::exception_ptr setupError;
    try {
        worker = factory_();
        worker->SetCancelFlag(cancel_);
    } catch (...) {
        setupError = std::current_exception();
    }
    const auto count = static_cast<int>(pictures_.size());
    for (;;) {
        int index = 0;
        QString picture;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this, count] {
                return stopping_ || next_ >= count || next_ < consumed_ + window_;
            });
            if (stopping_ || next_ >= count) {
                return;
            }
            index = next_++;
            picture = pictures_.at(index);
        }
        Result result;
        try {
            if (setupError) {
                std::rethrow_exception(setupError);
            }
            // Once cancelled, the pictures not yet started are only marked as such: the one
            // waited for in Take always gets its result.
            if (Cancelled()) {
                throw EAbort();
            }
            result.jpeg = worker->Convert(picture, SlotFolder(index));
        } catch (...) {
            result.error = std::current_exception();
        }
        result.done = true;
        {
            std::lock_guard lock(mutex_);
            results_[static_cast<std::size_t>(index)] = std::move(result);
        }
        changed_.notify_all();
    }
}

QString ParallelConversion::Take(int index) {
    std::unique_lock lock(mutex_);
    if (index > 0) {
        // The previous picture is written out: its slot is free for a new one.
        Result& previous = results_[static_cast<std::size_t>(index - 1)];
        if (!previous.jpeg.isEmpty()) {
            QFile::remove(previous.jpeg);
        }
        previous = Result{};
    }
    consumed_ = index;
    changed_.notify_all();
    Result& result = results_[static_cast<std::size_t>(index)];
    changed_.wait(lock, [&] { return result.done; });
    if (Cancelled()) {
        // Whatever the picture came to: a conversion stopped part-way fails, and is no error.
        throw EAbort();
    }
    if (result.error) {
        std::rethrow_exception(result.error);
    }
    return result.jpeg;
}

} // namespace pelisto
