#include "web/web_page.h"

#include "slideshow/jpeg_frame.h"
#include "slideshow/play_rules.h"
#include "slideshow/screen_fit.h"
#include "web/page_template.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace pelisto {
namespace {

const QByteArray kSettingsOpen = R"(<script type="application/json" id="pelisto-show">)";
// A picture's text sits in a template, inert: WebKit takes minutes to parse a script element
// holding tens of megabytes of text, a template a second.
const QByteArray kPictureOpen = R"(<template class="pelisto-jpeg")";
const QByteArray kPictureClose = "</template>";
const QByteArray kBlockClose = "</script>";

const char* ActionName(PlayAction action) {
    switch (action) {
    case PlayAction::Leave:
        return "leave";
    case PlayAction::Next:
        return "next";
    case PlayAction::Previous:
        return "previous";
    case PlayAction::ZoomIn:
        return "zoomIn";
    case PlayAction::ZoomOut:
        return "zoomOut";
    case PlayAction::Fit:
        return "fit";
    }
    return "";
}

QByteArray HtmlText(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QLatin1String("&#39;")).toUtf8();
}

// The settings and the numbers of the rules every player shares, from where they are defined.
QByteArray SettingsJson(const WebPageSettings& s) {
    QJsonObject keys;
    for (const PlayKey& k : kPlayKeys) {
        const QString action = QString::fromLatin1(ActionName(k.action));
        QJsonArray list = keys.value(action).toArray();
        const QString web = QString::fromLatin1(k.web.data(), static_cast<qsizetype>(k.web.size()));
        if (!list.contains(web)) {
            list.append(web);
        }
        keys.insert(action, list);
    }
    QJsonObject o;
    o.insert(QStringLiteral("format"), QStringLiteral("pelisto-web-slideshow"));
    o.insert(QStringLiteral("version"), 1);
    o.insert(QStringLiteral("automatic"), s.automatic);
    o.insert(QStringLiteral("delaySeconds"), s.delaySeconds);
    o.insert(QStringLiteral("zoomStep"), kZoomStep);
    o.insert(QStringLiteral("minZoomWidth"), kMinZoomWidth);
    o.insert(QStringLiteral("maxZoomExtent"), kMaxZoomExtent);
    o.insert(QStringLiteral("keys"), keys);
    // A page that asks for none is the page it was before these existed.
    if (s.play != PlayOptions{}) {
        o.insert(QStringLiteral("shuffle"), s.play.shuffle);
        o.insert(QStringLiteral("stopAtEnd"), s.play.stopAtEnd);
        o.insert(QStringLiteral("crossfadeMs"), std::min(s.play.crossfadeMs, kMaxCrossfadeMs));
    }
    // Inside a script element nothing may read as a tag.
    return QJsonDocument(o).toJson(QJsonDocument::Compact).replace("<", "\\u003c");
}

QByteArray Sha256Source(const QByteArray& text) {
    return "'sha256-" + QCryptographicHash::hash(text, QCryptographicHash::Sha256).toBase64() + "'";
}

// The template with each {{NAME}} replaced in one pass, so a value (a title) that holds such a
// name is never filled in its turn.
QByteArray Fill(const QByteArray& text, const QHash<QByteArray, QByteArray>& values) {
    QByteArray filled;
    qsizetype at = 0;
    for (;;) {
        const qsizetype open = text.indexOf("{{", at);
        const qsizetype close = open < 0 ? -1 : text.indexOf("}}", open);
        if (close < 0) {
            return filled + text.mid(at);
        }
        const QByteArray name = text.mid(open + 2, close - open - 2);
        filled += text.mid(at, open - at) + values.value(name, text.mid(open, close + 2 - open));
        at = close + 2;
    }
}

} // namespace

WebPageWriter::WebPageWriter(const WebPageSettings& s) {
    const QByteArray style = kPageCss;
    const QByteArray script = kPageJs;
    // Only the page's own style and script run, and nothing is ever fetched: pictures are
    // Blob URLs made by the script.
    const QByteArray csp = "default-src 'none'; img-src blob:; style-src " + Sha256Source(style) +
                           "; script-src " + Sha256Source(script) +
                           "; base-uri 'none'; form-action 'none'";
    // The first line tells the keys, the second the gestures; the style shows the one the
    // device has a use for.
    QByteArray hint;
    for (qsizetype i = 0; i < s.hint.size(); ++i) {
        hint += QByteArray("<div class=\"") + (i == 0 ? "keys" : "touch") + "\">" +
                HtmlText(s.hint[i]) + "</div>";
    }
    const QHash<QByteArray, QByteArray> values{{"LANG", HtmlText(s.language)},
                                               {"CSP", csp},
                                               {"TITLE", HtmlText(s.title)},
                                               {"STYLE", style},
                                               {"HINT", hint},
                                               {"SETTINGS", SettingsJson(s)},
                                               {"SCRIPT", script}};
    // The pictures go between the head and the tail.
    const QByteArray page = kPageHtml;
    const QByteArray pictures = "{{PICTURES}}\n";
    const qsizetype at = page.indexOf(pictures);
    head_ = Fill(page.left(at), values);
    tail_ = Fill(page.mid(at + pictures.size()), values);
}

QByteArray WebPageWriter::Head() const {
    return head_;
}

QByteArray WebPageWriter::PictureStart(std::span<const std::uint8_t> jpegHead,
                                       std::uint64_t length) {
    QByteArray start = kPictureOpen + " data-length=\"" + QByteArray::number(length) + '"';
    if (const auto size = ReadJpegFrameSize(jpegHead)) {
        start += " data-width=\"" + QByteArray::number(size->width) + "\" data-height=\"" +
                 QByteArray::number(size->height) + '"';
    }
    if (const auto options = ReadPlayOptions(jpegHead); options && !options->caption.empty()) {
        start += " data-caption=\"" + HtmlText(QString::fromStdString(options->caption)) + '"';
    }
    return start + '>';
}

QByteArray WebPageWriter::PictureText(std::span<const std::uint8_t> bytes) {
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<qsizetype>(bytes.size()))
        .toBase64();
}

QByteArray WebPageWriter::PictureEnd() {
    return kPictureClose + '\n';
}

QByteArray WebPageWriter::Tail() const {
    return tail_;
}

std::optional<WebPageContent> ReadWebPage(const QByteArray& page, QString* error) {
    const auto fail = [error](const QString& why) -> std::optional<WebPageContent> {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    const qsizetype settingsAt = page.indexOf(kSettingsOpen);
    const qsizetype settingsEnd =
        settingsAt < 0 ? -1 : page.indexOf(kBlockClose, settingsAt + kSettingsOpen.size());
    if (settingsEnd < 0) {
        return fail(QStringLiteral("no slideshow settings in the page"));
    }
    const qsizetype from = settingsAt + kSettingsOpen.size();
    const QJsonObject settings =
        QJsonDocument::fromJson(page.mid(from, settingsEnd - from)).object();
    const QJsonValue automatic = settings.value(QStringLiteral("automatic"));
    const int delay = settings.value(QStringLiteral("delaySeconds")).toInt(0);
    if (settings.value(QStringLiteral("format")).toString() !=
            QLatin1String("pelisto-web-slideshow") ||
        !automatic.isBool() || delay < 1 || delay > 0xFFFF) {
        return fail(QStringLiteral("the slideshow settings are damaged"));
    }
    WebPageContent content;
    content.automatic = automatic.toBool();
    content.delaySeconds = static_cast<std::uint16_t>(delay);
    content.play.shuffle = settings.value(QStringLiteral("shuffle")).toBool(false);
    content.play.stopAtEnd = settings.value(QStringLiteral("stopAtEnd")).toBool(false);
    content.play.crossfadeMs = static_cast<std::uint16_t>(
        std::clamp(settings.value(QStringLiteral("crossfadeMs")).toInt(0), 0,
                   static_cast<int>(kMaxCrossfadeMs)));

    qsizetype at = settingsEnd;
    while ((at = page.indexOf(kPictureOpen, at)) >= 0) {
        const int number = static_cast<int>(content.pictures.size()) + 1;
        const qsizetype textAt = page.indexOf('>', at) + 1;
        const qsizetype textEnd = textAt <= 0 ? -1 : page.indexOf(kPictureClose, textAt);
        if (textEnd < 0) {
            return fail(QStringLiteral("picture %1 is cut short").arg(number));
        }
        const QByteArray tag = page.mid(at, textAt - at);
        const QByteArray lengthKey = "data-length=\"";
        const qsizetype lengthAt = tag.indexOf(lengthKey);
        bool lengthOk = false;
        const qulonglong length = lengthAt < 0
                                      ? 0
                                      : tag.mid(lengthAt + lengthKey.size(),
                                                tag.indexOf('"', lengthAt + lengthKey.size()) -
                                                    lengthAt - lengthKey.size())
                                            .toULongLong(&lengthOk);
        const auto decoded = QByteArray::fromBase64Encoding(
            page.mid(textAt, textEnd - textAt), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            return fail(QStringLiteral("picture %1 is not base64 text").arg(number));
        }
        if (!lengthOk || static_cast<qulonglong>(decoded.decoded.size()) != length || length == 0) {
            return fail(
                QStringLiteral("picture %1 does not have the length it states").arg(number));
        }
        content.pictures.push_back(decoded.decoded);
        at = textEnd;
    }
    if (content.pictures.empty()) {
        return fail(QStringLiteral("no pictures in the page"));
    }
    return content;
}

} // namespace pelisto
