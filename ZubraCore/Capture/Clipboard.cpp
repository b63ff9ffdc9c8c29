#include "ZubraCore/Capture/Clipboard.h"

#include "ZubraCore/Text/Utf8.h"

#include "ZubraCore/Capture/MarkdownHtml.h"
#include "ZubraCore/Capture/OfflineHTMLConverter.h"
#include "ZubraCore/Capture/RtfReader.h"

#include <QStringDecoder>
#include <QUrl>
#include <algorithm>

namespace {

std::optional<QByteArray> firstData(Pasteboard& pasteboard, const QStringList& types)
{
    for (const QString& type : types) {
        if (auto bytes = pasteboard.data(type))
            return bytes;
    }
    return std::nullopt;
}

// ASCII letters lowered, everything else as it is: offsets stay those of the original.
QString asciiLower(const QString& text)
{
    QString lowered = text;
    for (QChar& c : lowered) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + (u'a' - u'A'));
    }
    return lowered;
}

qsizetype utf8Length(QStringView text)
{
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80)
            bytes += 1;
        else if (c < 0x800)
            bytes += 2;
        else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else
            bytes += 3;
    }
    return bytes;
}

} // namespace

namespace Clipboard {

PasteboardSnapshot snapshot(Pasteboard& pasteboard, std::chrono::milliseconds budget)
{
    PasteboardSnapshot result;
    const QDeadlineTimer deadline(budget);
    const QDeadlineTimer listDeadline(std::min(budget, typeListBudget));
    const auto items = pasteboard.exactItemTypes(listDeadline);
    if (!items) {
        // Without the list nothing can be said about what the user had: never restore it.
        result.complete = false;
        result.ownerSilent = listDeadline.hasExpired();
        return result;
    }
    qsizetype total = 0;
    for (qsizetype i = 0; i < items->size(); ++i) {
        PasteboardSnapshot::Item item;
        for (const QString& type : items->at(i)) {
            Pasteboard::Read read = pasteboard.exactItemData(i, type, deadline);
            if (read.status == Pasteboard::ReadStatus::timedOut) {
                result.complete = false;
                result.ownerSilent = true;
                return result;
            }
            if (read.status != Pasteboard::ReadStatus::ok)
                continue;
            total += read.data.size();
            if (total > maxSnapshotBytes) {
                result.items.clear();
                result.complete = false;
                return result;
            }
            item.append({read.exactType.isEmpty() ? type : read.exactType, std::move(read.data)});
        }
        result.items.append(item);
    }
    return result;
}

bool restore(const PasteboardSnapshot& snapshot, Pasteboard& pasteboard)
{
    if (!snapshot.complete)
        return false;
    QList<Pasteboard::ItemData> items;
    for (const PasteboardSnapshot::Item& item : snapshot.items) {
        if (item.isEmpty())
            return false;
        items.append(item);
    }
    // Writing the items replaces whatever is there; only an empty snapshot needs the clearing.
    if (!items.isEmpty())
        return pasteboard.writeExactItems(items);
    if (!pasteboard.clearContents())
        return false;
    const auto now = pasteboard.itemTypes(QDeadlineTimer(Pasteboard::readTimeout));
    return now && now->isEmpty();
}

qint64 changeCount(Pasteboard& pasteboard)
{
    return pasteboard.changeCount();
}

QStringList availableTypes(Pasteboard& pasteboard)
{
    return pasteboard.types();
}

std::optional<QString> plainText(Pasteboard& pasteboard)
{
    for (const QString& type :
        {PasteboardType::plainText, PasteboardType::utf8PlainText, PasteboardType::tabularText}) {
        if (auto text = pasteboard.string(type))
            return text;
    }
    return std::nullopt;
}

std::optional<AttributedText> richAttributedString(Pasteboard& pasteboard)
{
    if (const auto html = htmlData(pasteboard)) {
        if (auto converted = OfflineHTMLConverter::convert(*html))
            return converted;
    }
    if (const auto rtf = firstData(pasteboard, QStringList {PasteboardType::rtf} + PasteboardType::rtfAliases))
        return RtfReader::read(*rtf);
    if (const auto rtfd = pasteboard.data(PasteboardType::rtfd))
        return RtfReader::readRtfd(*rtfd);
    return std::nullopt;
}

std::optional<AttributedText> attributedString(const QByteArray& html)
{
    return OfflineHTMLConverter::convert(htmlAsUtf8(html));
}

std::optional<QByteArray> htmlData(Pasteboard& pasteboard)
{
    const auto bytes = pasteboard.data(PasteboardType::html);
    if (!bytes)
        return std::nullopt;
    return htmlAsUtf8(*bytes);
}

std::optional<QString> htmlTitle(Pasteboard& pasteboard)
{
    const auto html = htmlData(pasteboard);
    if (!html || html->size() > maxTitleHtmlBytes)
        return std::nullopt;
    const auto text = Utf8::decodeStrict(*html);
    if (!text)
        return std::nullopt;
    return parsePageTitle(*text);
}

std::optional<QString> parsePageTitle(const QString& html)
{
    // A UTF-16 unit never takes fewer bytes in UTF-8, so the first test spares the count.
    if (html.size() > maxTitleHtmlBytes || utf8Length(html) > maxTitleHtmlBytes)
        return std::nullopt;
    const QString lowered = asciiLower(html);
    const qsizetype open = lowered.indexOf(u"<title");
    if (open < 0)
        return std::nullopt;
    const qsizetype tagEnd = lowered.indexOf(u'>', open);
    if (tagEnd < 0)
        return std::nullopt;
    const qsizetype close = lowered.indexOf(u"</title", tagEnd + 1);
    if (close < 0)
        return std::nullopt;
    QString title = html.mid(tagEnd + 1, close - tagEnd - 1);
    // Each pass runs once over the whole text, in this order; nothing is decoded twice.
    title.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    title.replace(QStringLiteral("&lt;"), QStringLiteral("<"));
    title.replace(QStringLiteral("&gt;"), QStringLiteral(">"));
    title.replace(QStringLiteral("&quot;"), QStringLiteral("\""));
    title.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    title = title.simplified();
    if (title.isEmpty())
        return std::nullopt;
    return title;
}

std::optional<QString> browserSourceURL(Pasteboard& pasteboard)
{
    if (const auto firefox = pasteboard.data(PasteboardType::firefoxSourceURL))
        return parseSourceURL(*firefox, true);
    if (const auto chromium = pasteboard.data(PasteboardType::chromiumSourceURL))
        return parseSourceURL(*chromium, false);
    return std::nullopt;
}

bool isMarkedAsPassword(Pasteboard& pasteboard)
{
    const QDeadlineTimer deadline(Pasteboard::readTimeout);
    const auto items = pasteboard.itemTypes(deadline);
    for (qsizetype i = 0; items && i < items->size(); ++i) {
        if (!items->at(i).contains(PasteboardType::passwordManagerHint))
            continue;
        const Pasteboard::Read hint = pasteboard.itemData(i, PasteboardType::passwordManagerHint, deadline);
        if (hint.status == Pasteboard::ReadStatus::timedOut
            || (hint.status == Pasteboard::ReadStatus::ok && !hint.data.isEmpty()))
            return true;
    }
    return false;
}

std::optional<QString> parseSourceURL(const QByteArray& bytes, bool utf16)
{
    if (bytes.isEmpty() || bytes.size() > maxSourceURLBytes)
        return std::nullopt;
    std::optional<QString> text;
    if (utf16) {
        QByteArrayView body(bytes);
        auto encoding = QStringConverter::Utf16LE;
        if (body.startsWith("\xff\xfe")) {
            body = body.sliced(2);
        } else if (body.startsWith("\xfe\xff")) {
            body = body.sliced(2);
            encoding = QStringConverter::Utf16BE;
        }
        if (body.size() % 2 != 0)
            return std::nullopt;
        QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
        QString decoded = decoder.decode(body);
        if (decoder.hasError() || !decoded.isValidUtf16())
            return std::nullopt;
        text = decoded;
    } else {
        text = Utf8::decodeStrict(bytes);
    }
    if (!text)
        return std::nullopt;
    // Some writers end the address with a NUL or a line break.
    while (text->endsWith(QChar(0)))
        text->chop(1);
    const QString address = text->trimmed();
    for (const QChar c : address) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            return std::nullopt;
    }
    const QUrl url(address, QUrl::StrictMode);
    if (address.isEmpty() || !url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("file")) {
        if (url.path().isEmpty())
            return std::nullopt;
    } else if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty()) {
        return std::nullopt;
    }
    return address;
}

QByteArray htmlAsUtf8(const QByteArray& html)
{
    // Past this size even the UTF-8 form is over every reader's limit: not worth converting.
    const qsizetype worthConverting = 2 * std::max(maxTitleHtmlBytes, OfflineHTMLConverter::maxInputBytes) + 2;
    if (html.size() < 2 || html.size() > worthConverting)
        return html;
    const auto b0 = uchar(html[0]);
    const auto b1 = uchar(html[1]);
    QStringConverter::Encoding encoding;
    qsizetype skip = 0;
    if (b0 == 0xFF && b1 == 0xFE) {
        encoding = QStringConverter::Utf16LE;
        skip = 2;
    } else if (b0 == 0xFE && b1 == 0xFF) {
        encoding = QStringConverter::Utf16BE;
        skip = 2;
    } else if (html.size() % 2 == 0 && b0 != 0 && b1 == 0) {
        encoding = QStringConverter::Utf16LE;
    } else if (html.size() % 2 == 0 && b0 == 0 && b1 != 0) {
        encoding = QStringConverter::Utf16BE;
    } else {
        return html;
    }
    const QByteArrayView body = QByteArrayView(html).sliced(skip);
    if (body.size() % 2 != 0)
        return html;
    QStringDecoder decoder(encoding, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(body);
    // The decoder lets unpaired surrogates through; such HTML is kept as given and refused later.
    if (decoder.hasError() || !text.isValidUtf16())
        return html;
    return text.toUtf8();
}

void writeMarkdown(const QString& markdown, Pasteboard& pasteboard)
{
    pasteboard.clearContents();
    pasteboard.declareTypes({PasteboardType::plainText, PasteboardType::html, PasteboardType::utf8PlainText});
    pasteboard.setString(markdown, PasteboardType::plainText);
    pasteboard.setString(markdown, PasteboardType::utf8PlainText);
    const auto html = htmlData(markdown);
    if (html && !html->isEmpty())
        pasteboard.setData(*html, PasteboardType::html);
}

std::optional<QByteArray> htmlData(const QString& markdown)
{
    if (markdown.isEmpty())
        return std::nullopt;
    return MarkdownHtml::htmlDocument(markdown);
}

void writePlain(const QString& text, Pasteboard& pasteboard)
{
    pasteboard.clearContents();
    pasteboard.setString(text, PasteboardType::plainText);
    pasteboard.setString(text, PasteboardType::utf8PlainText);
}

} // namespace Clipboard
