#include "ZubraCore/Composition/ContextComposer.h"

#include "ZubraCore/Composition/CodeFence.h"
#include "ZubraCore/Composition/PreparedEntries.h"
#include "ZubraCore/Composition/PromptModel.h"
#include "ZubraCore/Composition/TokenEstimator.h"

#include <QSet>

namespace ContextComposer {

namespace {

// For trimmed code in a known language: the text fenced, or as it is when it already is one
// complete fenced block (a second fence would be closed by the inner one). No value for other text.
std::optional<QString> asCode(const QString& trimmed)
{
    const auto language = detectCodeLanguage(trimmed);
    if (!language)
        return std::nullopt;
    if (CodeFence::isCompleteFencedBlock(trimmed))
        return trimmed;
    return CodeFence::fenced(trimmed, *language);
}

} // namespace

const QString& defaultPreamble()
{
    static const QString text = u"Use only the information in the sources below. Cite each source by name."_qs;
    return text;
}

QString entryBody(const ContextDraftEntry& entry, const Selection& selection)
{
    if (entry.customText) {
        const QString custom = entry.customText->trimmed();
        if (!custom.isEmpty())
            return entry.verbatim ? *entry.customText : asCode(custom).value_or(custom);
    }
    if (entry.verbatim)
        return selection.text;
    const QString text = selection.text.trimmed();
    if (auto code = asCode(text))
        return *code;
    const QString markdown = selection.markdown().trimmed();
    return markdown.isEmpty() ? text : markdown;
}

QString sourceLine(const Selection& selection)
{
    std::optional<QString> title;
    if (selection.sourceTitle) {
        QString t = selection.sourceTitle->trimmed();
        if (!t.isEmpty())
            title = std::move(t);
    }
    const std::optional<QString> location = selection.sourceURL ? selection.sourceURL : selection.filePath;
    if (title && location)
        return *title + u" \u2014 "_qs + *location;
    if (title)
        return *title;
    if (location)
        return *location;
    return selection.appName;
}

QString xmlEscape(const QString& text)
{
    // One pass gives the same result as replacing &, <, > and " in turn: only the first
    // replacement introduces a character that a later one looks for, and & comes first.
    qsizetype extra = 0;
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            extra += 4;
            break;
        case u'<':
        case u'>':
            extra += 3;
            break;
        case u'"':
            extra += 5;
            break;
        default:
            break;
        }
    }
    if (extra == 0)
        return text;
    QString out;
    out.reserve(text.size() + extra);
    for (QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            out.append(u"&amp;");
            break;
        case u'<':
            out.append(u"&lt;");
            break;
        case u'>':
            out.append(u"&gt;");
            break;
        case u'"':
            out.append(u"&quot;");
            break;
        default:
            out.append(c);
            break;
        }
    }
    return out;
}

bool hasContent(const ContextDraft& draft, const QList<Selection>& selections, const std::optional<QString>& preamble)
{
    if (trimmedText(draft.task))
        return true;
    if (draft.templateKind() != ComposerTemplate::plain && trimmedText(preamble))
        return true;
    QSet<QUuid> ids;
    ids.reserve(selections.size());
    for (const Selection& s : selections)
        ids.insert(s.id);
    for (const ContextDraftEntry& e : draft.entries) {
        if (e.include && ids.contains(e.selectionID))
            return true;
    }
    return false;
}

ComposedContext compose(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, std::optional<qint64> maxTokens,
    bool groupBySource)
{
    const QList<PreparedEntry> prepared = preparedEntries(draft, selections);
    const PromptModel model(draft, prepared, preamble);
    ComposedContext result;
    result.text = model.text(0, model.size(), groupBySource);
    result.tokens = TokenEstimator::estimate(result.text, profile ? *profile : draft.modelProfile());
    result.entryCount = prepared.size();
    if (maxTokens) {
        if (*maxTokens < 1)
            result.feedback.append(u"The token budget must be greater than zero."_qs);
        else if (result.tokens > *maxTokens)
            result.feedback.append(u"Over budget by an estimated "_qs
                + TokenEstimator::format(result.tokens - *maxTokens) + u" tokens."_qs);
    }
    return result;
}

} // namespace ContextComposer
