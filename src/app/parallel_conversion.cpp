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
                                       const QString& scratchFolder, PictureWorkerFactory factory)
    : pictures_(pictures), scratch_(scratchFolder), factory_(std::move(factory)),
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
    try {
        for (int i = 0; i < workers; ++i) {
            threads_.emplace_back([this] { Work(); });
        }
    } catch (const std::system_error& e) {
        // The threads already running stop first: one left running would end the program.
        Stop();
        throw Exception(QStringLiteral("Cannot start a thread to convert the pictures: %1")
                            .arg(QString::fromLocal8Bit(e.what())));
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
    } catch (...) {
        setupError = std::current_exception();
    }
    for (;;) {
        int index = 0;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] {
                return stopping_ || next_ >= static_cast<int>(pictures_.size()) ||
                       next_ < consumed_ + window_;
            });
            if (stopping_ || next_ >= static_cast<int>(pictures_.size())) {
                return;
            }
            index = next_++;
        }
        Result result;
        try {
            if (setupError) {
                std::rethrow_exception(setupError);
            }
            result.jpeg = worker->Convert(pictures_[index], SlotFolder(index));
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
    if (result.error) {
        std::rethrow_exception(result.error);
    }
    return result.jpeg;
}

} // namespace pelisto
