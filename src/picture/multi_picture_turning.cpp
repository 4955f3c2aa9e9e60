// The quarter turn of the picture control, done by the processing library.

#include "picture/multi_picture.h"

#include "codeclib/codec_api.h"
#include "codeclib/dib.h"
#include "framework/graphics/bitmap.h"
#include "picture/call_guard.h"
#include "picture/dib_conversion.h"

#include <QApplication>

namespace pelisto {
namespace {

std::uint32_t RgbOf(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           static_cast<std::uint32_t>(color.green()) << 8 |
           static_cast<std::uint32_t>(color.blue()) << 16;
}

} // namespace

void TMultiPicture::RotateQuarter() {
    Progress(0);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    struct RestoreCursor {
        ~RestoreCursor() { QApplication::restoreOverrideCursor(); }
    } restore;
    TBitmap* held = HeldBitmap();
    if (held == nullptr || held->IsEmpty()) {
        throw ErrorInvalid(QStringLiteral("Input image is empty"));
    }
    // A turn that cannot be made says so: the caller must not go on with the unturned picture.
    const auto failed = [] {
        return ErrorInvalid(QStringLiteral("The picture could not be turned"));
    };
    auto fn =
        reinterpret_cast<PLRotate_t>(CodecLibrary::Get(CodecLibrary::Processing).Entry("PLRotate"));
    if (fn == nullptr) {
        throw failed();
    }
    TDibHolder block;
    {
        // The loan ends before the picture changes: it may free the lent pixels.
        DibLoan loan(*held);
        const dib::DibView v = dib::View(loan.get());
        PLDib turned = nullptr;
        const std::uint32_t back = RgbOf(rotateBackColor_);
        void* source = loan.get();
        if (!CallGuarded([&] { turned = fn(source, 90.0, 0, 0, v.width, v.height, back); }) ||
            turned == nullptr) {
            throw failed();
        }
        block.reset(turned);
    }
    const int bits = dib::View(block.get()).bits;
    auto result = DibToBitmap(std::move(block), bits, false);
    if (!result) {
        throw failed();
    }
    picture_.Assign(result.get());
}

} // namespace pelisto
