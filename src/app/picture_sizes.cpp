#include "app/picture_sizes.h"

#include "language/base_multi_lang.h"
#include "language/main_window_words.h"
#include "slideshow/picture_limit.h"

#include <QStringList>
#include <functional>

namespace pelisto {
namespace {

QString Warning(const std::function<QString(const QString&)>& word, std::int64_t bytes,
                int boxWidth, int boxHeight) {
    if (bytes <= kMailLimitBytes) {
        return {};
    }
    const bool own = boxWidth <= 0 || boxHeight <= 0;
    QStringList smaller;
    for (const PictureSizeChoice& c : kPictureSizes) {
        if (c.width > 0 && (own || (c.width < boxWidth && c.height < boxHeight))) {
            smaller << word(QString::fromLatin1(c.word));
        }
    }
    if (smaller.isEmpty()) {
        return word(QStringLiteral("@126"));
    }
    return word(QStringLiteral("@125")).arg(smaller.join(QStringLiteral(", ")));
}

} // namespace

std::optional<PictureSizeChoice> ParseFitBox(const QByteArray& text) {
    for (const PictureSizeChoice& c : kPictureSizes) {
        if (text == c.name) {
            return c;
        }
    }
    const QList<QByteArray> sides = text.toLower().split('x');
    if (sides.size() != 2) {
        return std::nullopt;
    }
    bool okW = false;
    bool okH = false;
    const int w = sides[0].toInt(&okW);
    const int h = sides[1].toInt(&okH);
    if (!okW || !okH || w < 1 || h < 1 || w > MaxPictureSide || h > MaxPictureSide) {
        return std::nullopt;
    }
    return PictureSizeChoice{"", w, h, ""};
}

QString MailSizeWarning(TBaseMultiLang& words, std::int64_t bytes, int boxWidth, int boxHeight) {
    return Warning([&](const QString& id) { return words.LookupWord(id); }, bytes, boxWidth,
                   boxHeight);
}

QString MailSizeWarning(std::int64_t bytes, int boxWidth, int boxHeight) {
    return Warning([](const QString& id) { return MainWindowWord(id, 1); }, bytes, boxWidth,
                   boxHeight);
}

} // namespace pelisto
