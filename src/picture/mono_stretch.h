#pragma once

#include <QImage>
#include <QSize>

namespace pelisto {

// Resizes a one-bit picture so that thin lines of one colour survive a reduction: every target
// pixel stands for a block of source pixels and takes the kept colour (the darker of the two
// when keepDark, else the lighter) as soon as one pixel of its block has it. An enlargement
// just repeats pixels. The result is a one-bit image of exactly size with the source's colours.
QImage StretchMonoKeeping(const QImage& source, const QSize& size, bool keepDark);

} // namespace pelisto
