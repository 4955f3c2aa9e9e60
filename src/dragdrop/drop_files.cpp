#include "dragdrop/drop_files.h"

#include <cstring>

namespace pelisto {

namespace {

void PutU32(std::byte* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFFu);
    }
}

std::uint32_t GetU32(const std::byte* at) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::to_integer<std::uint32_t>(at[i]) << (8 * i);
    }
    return value;
}

std::uint16_t GetU16(const std::byte* at) {
    return static_cast<std::uint16_t>(std::to_integer<unsigned>(at[0]) |
                                      (std::to_integer<unsigned>(at[1]) << 8));
}

} // namespace

HGLOBAL BuildDropFiles(const QStringList& names, bool wide) {
    QByteArray body;
    for (const QString& name : names) {
        if (wide) {
            for (const QChar c : name) {
                const char16_t u = c.unicode();
                body.append(static_cast<char>(u & 0xFF));
                body.append(static_cast<char>(u >> 8));
            }
            body.append(2, '\0');
        } else {
            body.append(name.toLocal8Bit());
            body.append('\0');
        }
    }
    body.append(wide ? 2 : 1, '\0');

    auto block = std::make_shared<GlobalMemory>(DropFilesHeaderSize + body.size());
    std::byte* p = block->Lock();
    PutU32(p, DropFilesHeaderSize);
    PutU32(p + 16, wide ? 1 : 0);
    std::memcpy(p + DropFilesHeaderSize, body.constData(), body.size());
    block->Unlock();
    return block;
}

QStringList ReadDropFiles(const std::byte* block, std::size_t size) {
    QStringList names;
    if (!block || size < DropFilesHeaderSize) {
        return names;
    }
    const bool wide = GetU32(block + 16) != 0;
    const std::size_t width = wide ? 2 : 1;
    std::size_t pos = GetU32(block);

    while (pos + width <= size) {
        // Find this name's terminator inside the block.
        std::size_t end = pos;
        bool terminated = false;
        while (end + width <= size) {
            const unsigned c = wide ? GetU16(block + end) : std::to_integer<unsigned>(block[end]);
            if (c == 0) {
                terminated = true;
                break;
            }
            end += width;
        }
        if (!terminated || end == pos) {
            break; // the empty name ends the list; a cut-off name is not trusted
        }
        if (wide) {
            const std::size_t count = (end - pos) / 2;
            std::u16string chars(count, u'\0');
            for (std::size_t i = 0; i < count; ++i) {
                chars[i] = static_cast<char16_t>(GetU16(block + pos + 2 * i));
            }
            names << QString::fromUtf16(chars.data(), static_cast<qsizetype>(count));
        } else {
            names << QString::fromLocal8Bit(reinterpret_cast<const char*>(block + pos),
                                            static_cast<qsizetype>(end - pos));
        }
        pos = end + width;
    }
    return names;
}

QStringList ReadDropFiles(const GlobalMemory& block) {
    const std::byte* p = block.Lock();
    QStringList names = ReadDropFiles(p, block.Size());
    block.Unlock();
    return names;
}

} // namespace pelisto
