#pragma once

#include <QString>
#include <cstdint>
#include <cstdio>

namespace pelisto {

// A file opened for reading or created for writing, with the framework's errors: creating or
// opening raises EFCreateError / EFOpenError naming the file, a short read EReadError and a
// short write EWriteError.
class FileStream {
public:
    enum class Mode { Create, OpenRead };
    FileStream(const QString& fileName, Mode mode);
    // Writes to an open file (a file made by ReplaceFile) through a duplicate of its descriptor;
    // fileName names it in errors.
    FileStream(const QString& fileName, int descriptor);
    ~FileStream();
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::int64_t Size() const;
    std::int64_t Position() const;
    void Seek(std::int64_t position);

    void ReadBuffer(void* data, std::size_t count);
    void WriteBuffer(const void* data, std::size_t count);
    // Writes without checking how much was written (as the trailer writes do).
    std::size_t Write(const void* data, std::size_t count);
    // Copies count bytes (the whole rest of source when count is 0) and returns how many.
    std::int64_t CopyFrom(FileStream& source, std::int64_t count);

    // Flushes and closes; raises EWriteError when the data cannot be put on disk.
    void Close();
    const QString& FileName() const { return fileName_; }
    // The open file's descriptor, for writers that write it themselves (nothing buffered here
    // must be pending then).
    int Descriptor() const;

private:
    QString fileName_;
    std::FILE* file_ = nullptr;
};

} // namespace pelisto
