#pragma once

// Whole picture files read into memory and written from it, with the system's reason for a
// failure kept as the error's detail.

#include <cstdio>
#include <memory>
#include <vector>

namespace pelisto::codec {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// False when the file cannot be opened or read, or is no regular file.
bool ReadWholeFile(const char* name, std::vector<unsigned char>& bytes);

// Writes and closes the file, noticing any error on the way (a full disk shows at the flush or
// the close): Ok, ErrCreate or ErrWrite.
std::int16_t WriteWholeFile(const char* name, const void* data, std::size_t size);

// Flushes and closes a file written through stdio: false, with the reason as detail, when some
// of it did not reach the disk.
bool CloseWritten(FilePtr file);

} // namespace pelisto::codec
