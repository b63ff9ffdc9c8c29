#include "ZubraCore/Library/Selection.h"

#include "ZubraCore/Text/CommonAffixes.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <cstring>
#include <limits>

SelectionMarkdown SelectionMarkdown::against(const QString& text, const QString& markdown)
{
    if (markdown.size() == text.size() && (markdown.constData() == text.constData() || markdown == text))
        return SelectionMarkdown(text);
    if (text.size() > std::numeric_limits<qint32>::max() || markdown.size() > std::numeric_limits<qint32>::max())
        return SelectionMarkdown(markdown);
    const qsizetype shortest = std::min(text.size(), markdown.size());
    qsizetype prefix = CommonAffixes::prefixSize(text.constData(), markdown.constData(), shortest);
    if (prefix > 0 && markdown[prefix - 1].isHighSurrogate())
        --prefix;
    qsizetype suffix = CommonAffixes::suffixSize(
        text.constData() + text.size(), markdown.constData() + markdown.size(), shortest - prefix);
    if (suffix > 0 && markdown[markdown.size() - suffix].isLowSurrogate())
        --suffix;
    const qsizetype middle = markdown.size() - prefix - suffix;
    if (prefix + suffix < middle || prefix + suffix == 0)
        return SelectionMarkdown(markdown);
    return fromParts(text, prefix, markdown.sliced(prefix, middle), suffix);
}

SelectionMarkdown SelectionMarkdown::fromParts(
    const QString& text, qsizetype prefix, const QString& middle, qsizetype suffix)
{
    Q_ASSERT(prefix >= 0 && suffix >= 0 && prefix + suffix <= text.size());
    SelectionMarkdown form(middle);
    if (prefix + suffix > 0) {
        auto* difference = new Difference;
        difference->base = text;
        difference->prefix = qint32(prefix);
        difference->suffix = qint32(suffix);
        form.m_difference.reset(difference);
    }
    return form;
}

size_t SelectionMarkdown::differenceBytes()
{
    return sizeof(Difference);
}

const QString& SelectionMarkdown::base() const
{
    static const QString none;
    return m_difference ? m_difference->base : none;
}

std::array<QStringView, 3> SelectionMarkdown::pieces() const
{
    if (!m_difference)
        return {QStringView(), QStringView(m_middle), QStringView()};
    const QStringView base(m_difference->base);
    return {base.first(m_difference->prefix), QStringView(m_middle), base.last(m_difference->suffix)};
}

QString SelectionMarkdown::toString() const
{
    if (!isDifference())
        return m_middle;
    QString out(size(), Qt::Uninitialized);
    QChar* at = out.data();
    for (const QStringView piece : pieces()) {
        std::memcpy(static_cast<void*>(at), piece.data(), size_t(piece.size()) * sizeof(QChar));
        at += piece.size();
    }
    return out;
}

bool operator==(const SelectionMarkdown& a, const SelectionMarkdown& b)
{
    if (a.size() != b.size())
        return false;
    if (a.prefix() == b.prefix() && a.suffix() == b.suffix() && a.base().constData() == b.base().constData()
        && a.base().size() == b.base().size())
        return a.m_middle == b.m_middle;
    // Piece by piece, without building either string.
    const std::array<QStringView, 3> x = a.pieces();
    const std::array<QStringView, 3> y = b.pieces();
    size_t i = 0;
    size_t j = 0;
    QStringView p = x[0];
    QStringView q = y[0];
    for (;;) {
        while (p.isEmpty() && i + 1 < x.size())
            p = x[++i];
        while (q.isEmpty() && j + 1 < y.size())
            q = y[++j];
        if (p.isEmpty() || q.isEmpty())
            return p.isEmpty() && q.isEmpty();
        const qsizetype n = std::min(p.size(), q.size());
        if (p.first(n) != q.first(n))
            return false;
        p = p.sliced(n);
        q = q.sliced(n);
    }
}

Selection Selection::make(const QUuid& id, const QString& text, const std::optional<QString>& markdown,
    const QString& appName, const std::optional<QString>& bundleID, const std::optional<QString>& sourceURL,
    const std::optional<QString>& sourceTitle, const std::optional<QString>& filePath, const QList<QUuid>& groupIDs,
    const QDateTime& createdAt)
{
    Selection s;
    s.id = id;
    s.text = text;
    s.setMarkdown(markdown.value_or(text));
    s.appName = appName;
    s.bundleID = bundleID;
    s.sourceURL = sourceURL;
    s.sourceTitle = sourceTitle;
    s.filePath = filePath;
    s.groupIDs = groupIDs;
    s.createdAt = createdAt;
    return s;
}

QString Selection::headline() const
{
    const QString trimmed = text.trimmed();
    const qsizetype end = TextMetrics::indexOfLineFeed(trimmed);
    return end < 0 ? trimmed : trimmed.first(end);
}

std::optional<QString> Selection::sourceLabel() const
{
    if (sourceTitle) {
        const QString title = sourceTitle->trimmed();
        if (!title.isEmpty())
            return title;
    }
    if (sourceURL)
        return sourceURL;
    return filePath;
}

std::optional<QString> Selection::sourceDetail() const
{
    if (sourceURL)
        return sourceURL;
    return filePath;
}

size_t qHash(const Selection& s, size_t seed) noexcept
{
    return qHashMulti(seed, s.id, s.text, s.markdown(), s.appName, s.bundleID, s.sourceURL, s.sourceTitle, s.filePath,
        s.groupIDs, s.createdAt);
}
