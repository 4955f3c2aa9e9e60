#pragma once

#include "dragdrop/ole.h"

#include <QStringList>
#include <cstddef>

namespace pelisto {

// The shell's file list as a memory block: a 20-byte header (offset of the first name, drop
// point, non-client flag, wide flag), then the names, each ended by a zero character, then an
// empty name.
inline constexpr std::size_t DropFilesHeaderSize = 20;

// Builds the block for a list of names, in 16-bit characters when wide, else in the system's
// 8-bit encoding.
HGLOBAL BuildDropFiles(const QStringList& names, bool wide = true);

// Reads the names of a block in the order it lists them. The walk never leaves the block: a
// header that does not fit, a first-name offset past the end or a name with no terminator
// before the end ends the list there (an unterminated name is dropped, being cut short).
QStringList ReadDropFiles(const std::byte* block, std::size_t size);
QStringList ReadDropFiles(const GlobalMemory& block);

} // namespace pelisto
