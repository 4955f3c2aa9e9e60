#include "picture/mono_stretch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace pelisto {
namespace {

int Lightness(QRgb c) {
    return qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114;
}

// Source pixels [first, end) under target pixel i of n; never empty.
std::pair<int, int> Block(int i, int n, int source) {
    const auto first = static_cast<int>(std::int64_t{i} * source / n);
    const auto end = static_cast<int>(std::int64_t{i + 1} * source / n);
    return {first, std::clamp(end, first + 1, source)};
}

// Whether a pixel of value bit lies in columns [from, to) of a most-significant-bit-first row;
// whole bytes are tested at once, so a large reduction stays cheap.
bool BlockHas(const uchar* row, int from, int to, bool bit) {
    const int firstByte = from >> 3;
    const int lastByte = (to - 1) >> 3;
    for (int i = firstByte; i <= lastByte; ++i) {
        unsigned mask = 0xFFu;
        if (i == firstByte) {
            mask &= 0xFFu >> (from & 7);
        }
        if (i == lastByte) {
            mask &= (0xFFu << (7 - ((to - 1) & 7))) & 0xFFu;
        }
        const unsigned value = bit ? row[i] : ~static_cast<unsigned>(row[i]);
        if ((value & mask) != 0) {
            return true;
        }
    }
    return false;
}

} // namespace

QImage StretchMonoKeeping(const QImage& source, const QSize& size, bool keepDark) {
    if (source.isNull() || size.isEmpty()) {
        return {};
    }
    const QImage mono = source.format() == QImage::Format_Mono
                            ? source
                            : source.convertToFormat(QImage::Format_Mono);
    const QList<QRgb> table = mono.colorTable();
    const QRgb zero = table.size() > 0 ? table[0] : qRgb(0, 0, 0);
    const QRgb one = table.size() > 1 ? table[1] : qRgb(255, 255, 255);
    const bool kept =
        keepDark ? Lightness(one) < Lightness(zero) : Lightness(one) > Lightness(zero);

    QImage out(size, QImage::Format_Mono);
    if (out.isNull() || mono.isNull()) {
        return {};
    }
    out.setColorTable({zero, one});
    const int width = size.width();
    std::vector<std::pair<int, int>> columns(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        columns[static_cast<std::size_t>(x)] = Block(x, width, mono.width());
    }
    std::vector<char> hit(static_cast<std::size_t>(width));
    for (int y = 0; y < size.height(); ++y) {
        const auto [top, bottom] = Block(y, size.height(), mono.height());
        std::fill(hit.begin(), hit.end(), 0);
        for (int sy = top; sy < bottom; ++sy) {
            const uchar* row = mono.constScanLine(sy);
            for (int x = 0; x < width; ++x) {
                const auto& [from, to] = columns[static_cast<std::size_t>(x)];
                if (hit[static_cast<std::size_t>(x)] == 0 && BlockHas(row, from, to, kept)) {
                    hit[static_cast<std::size_t>(x)] = 1;
                }
            }
        }
        uchar* line = out.scanLine(y);
        std::memset(line, 0, static_cast<std::size_t>(out.bytesPerLine()));
        for (int x = 0; x < width; ++x) {
            const bool value = hit[static_cast<std::size_t>(x)] != 0 ? kept : !kept;
            if (value) {
                line[x >> 3] = static_cast<uchar>(line[x >> 3] | (0x80u >> (x & 7)));
            }
        }
    }
    return out;
}

} // namespace pelisto
