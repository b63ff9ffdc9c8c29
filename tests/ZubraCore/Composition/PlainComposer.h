#pragma once
// The composition rules written the plain way: whole strings concatenated, every prompt rendered
// and counted again from scratch. Slow, and obviously right; the tests compare the real
// implementation with it on random drafts.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/TokenEstimator.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <QSet>

namespace PlainComposer {

struct Prepared
{
    qsizetype index;
    ContextDraftEntry entry;
    Selection selection;
    QString body;
};

struct Group
{
    Selection rep;
    QList<Prepared> items;
};

inline QString trimmedOrEmpty(const std::optional<QString>& s)
{
    return s ? s->trimmed() : QString();
}

inline QList<Prepared> prepared(const ContextDraft& draft, const QList<Selection>& selections)
{
    QHash<QUuid, Selection> byID;
    for (const Selection& s : selections) {
        if (!byID.contains(s.id))
            byID.insert(s.id, s);
    }
    QList<Prepared> all;
    for (qsizetype i = 0; i < draft.entries.size(); ++i) {
        const ContextDraftEntry& e = draft.entries[i];
        if (e.include && byID.contains(e.selectionID))
            all.append({i, e, byID.value(e.selectionID), ContextComposer::entryBody(e, byID.value(e.selectionID))});
    }
    QList<Prepared> ordered;
    for (const Prepared& p : all)
        if (p.entry.pin)
            ordered.append(p);
    for (const Prepared& p : all)
        if (!p.entry.pin)
            ordered.append(p);
    return ordered;
}

inline QList<Group> grouped(const QList<Prepared>& entries, bool bySource)
{
    QList<Group> groups;
    QHash<QString, qsizetype> seen;
    for (const Prepared& p : entries) {
        if (!bySource) {
            groups.append({p.selection, {p}});
            continue;
        }
        const QString key = p.selection.sourceIdentity().identifier;
        if (seen.contains(key)) {
            groups[seen.value(key)].items.append(p);
        } else {
            seen.insert(key, groups.size());
            groups.append({p.selection, {p}});
        }
    }
    return groups;
}

inline QString renderSections(
    const ContextDraft& draft, const QList<Group>& groups, const std::optional<QString>& preamble)
{
    const QString t = draft.task.trimmed();
    const QString p = trimmedOrEmpty(preamble);
    QStringList parts;
    if (!t.isEmpty())
        parts.append(u"# Task\n\n"_qs + t);
    QStringList blocks;
    if (!p.isEmpty())
        blocks.append(u"> "_qs + p);
    for (const Group& g : groups) {
        QStringList items;
        for (const Prepared& item : g.items) {
            const QString n = trimmedOrEmpty(item.entry.note);
            items.append(n.isEmpty() ? item.body : item.body + u"\n\n_Note: "_qs + n + u"_"_qs);
        }
        blocks.append(u"## SOURCE: "_qs + ContextComposer::sourceLine(g.rep) + u"\n\n"_qs + items.join(u"\n\n"_qs));
    }
    if (!blocks.isEmpty())
        parts.append(u"# Context\n\n"_qs + blocks.join(u"\n\n---\n\n"_qs));
    return parts.join(u"\n\n"_qs);
}

inline QString renderXML(const ContextDraft& draft, const QList<Group>& groups, const std::optional<QString>& preamble)
{
    using ContextComposer::xmlEscape;
    const QString t = draft.task.trimmed();
    const QString p = trimmedOrEmpty(preamble);
    QStringList lines {u"<context>"_qs};
    if (!t.isEmpty())
        lines.append(u"<task>\n"_qs + xmlEscape(t) + u"\n</task>"_qs);
    if (!p.isEmpty())
        lines.append(u"<instruction>\n"_qs + xmlEscape(p) + u"\n</instruction>"_qs);
    for (const Group& g : groups) {
        QStringList items;
        for (const Prepared& item : g.items) {
            const QString n = trimmedOrEmpty(item.entry.note);
            items.append(n.isEmpty() ? xmlEscape(item.body) : xmlEscape(item.body + u"\n\n(_Note: "_qs + n + u"_)"_qs));
        }
        lines.append(u"<source name=\""_qs + xmlEscape(ContextComposer::sourceLine(g.rep)) + u"\">\n"_qs
            + items.join(u"\n\n"_qs) + u"\n</source>"_qs);
    }
    lines.append(u"</context>"_qs);
    return lines.join(u'\n');
}

inline QString renderPlain(const ContextDraft& draft, const QList<Group>& groups)
{
    const QString t = draft.task.trimmed();
    QStringList parts;
    if (!t.isEmpty())
        parts.append(u"TASK:\n"_qs + t);
    for (const Group& g : groups) {
        QStringList items;
        for (const Prepared& item : g.items) {
            const QString n = trimmedOrEmpty(item.entry.note);
            items.append(n.isEmpty() ? item.body : item.body + u"\n\nNOTE: "_qs + n);
        }
        parts.append(u"SOURCE: "_qs + ContextComposer::sourceLine(g.rep) + u"\n\n"_qs + items.join(u"\n\n"_qs));
    }
    return parts.join(u"\n\n---\n\n"_qs);
}

inline QString render(const ContextDraft& draft, const QList<Prepared>& entries, const std::optional<QString>& preamble,
    bool bySource = true)
{
    const QList<Group> groups = grouped(entries, bySource);
    if (draft.templateName == u"Plain")
        return renderPlain(draft, groups);
    if (draft.templateName == u"XML-tagged")
        return renderXML(draft, groups, preamble);
    return renderSections(draft, groups, preamble);
}

inline ComposedContext compose(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, std::optional<qint64> maxTokens,
    bool bySource)
{
    const QList<Prepared> entries = prepared(draft, selections);
    ComposedContext c;
    c.text = render(draft, entries, preamble, bySource);
    c.tokens = TokenEstimator::estimate(c.text, profile ? *profile : ModelProfile::profile(draft.modelProfileID));
    c.entryCount = entries.size();
    if (maxTokens) {
        if (*maxTokens < 1)
            c.feedback.append(u"The token budget must be greater than zero."_qs);
        else if (c.tokens > *maxTokens)
            c.feedback.append(
                u"Over budget by an estimated "_qs + TokenEstimator::format(c.tokens - *maxTokens) + u" tokens."_qs);
    }
    return c;
}

inline ContextComposer::Reduction reduceToFit(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<ModelProfile>& profile, qint64 maxTokens, const std::optional<QString>& preamble)
{
    if (maxTokens < 1)
        return {draft.entries, {u"The token budget must be greater than zero. No sources were removed."_qs}};
    if (!ContextComposer::hasContent(draft, selections, preamble))
        return {draft.entries, {u"Nothing to reduce."_qs}};
    QList<Prepared> entries = prepared(draft, selections);
    const ModelProfile p = profile ? *profile : ModelProfile::profile(draft.modelProfileID);
    qint64 estimate = TokenEstimator::estimate(render(draft, entries, preamble), p);
    QSet<qsizetype> removed;
    bool over = false;
    while (estimate > maxTokens) {
        if (entries.isEmpty() || entries.last().entry.pin) {
            over = true;
            break;
        }
        removed.insert(entries.takeLast().index);
        estimate = TokenEstimator::estimate(render(draft, entries, preamble), p);
    }
    ContextComposer::Reduction r;
    for (qsizetype i = 0; i < draft.entries.size(); ++i)
        if (!removed.contains(i))
            r.entries.append(draft.entries[i]);
    if (!removed.isEmpty())
        r.feedback.append(u"Removed "_qs + QString::number(removed.size()) + u" optional source"_qs
            + (removed.size() == 1 ? u""_qs : u"s"_qs) + u"."_qs);
    if (over)
        r.feedback.append(u"Still over budget by an estimated "_qs + TokenEstimator::format(estimate - maxTokens)
            + u" tokens. Shorten the task, turn off the preamble, trim pinned sources, or export."_qs);
    else
        r.feedback.append(
            removed.isEmpty() ? u"Already within the estimated budget."_qs : u"Now within the estimated budget."_qs);
    return r;
}

inline ContextDraft withEntries(ContextDraft draft, const QList<Prepared>& batch)
{
    draft.entries.clear();
    for (const Prepared& p : batch)
        draft.entries.append(p.entry);
    return draft;
}

inline QList<ComposedContext> splitForMessages(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens)
{
    const QList<Prepared> usable = prepared(draft, selections);
    if (!ContextComposer::hasContent(draft, selections, preamble))
        return {};
    if (maxTokens < 1 || usable.isEmpty())
        return {compose(withEntries(draft, usable), selections, preamble, profile, maxTokens, true)};
    QList<QList<Prepared>> closed;
    QList<Prepared> current;
    for (const Prepared& next : usable) {
        QList<Prepared> candidate = current;
        candidate.append(next);
        const qint64 estimate
            = compose(withEntries(draft, candidate), selections, preamble, profile, std::nullopt, true).tokens;
        if (estimate <= maxTokens || current.isEmpty()) {
            current = candidate;
        } else {
            closed.append(current);
            current = {next};
        }
    }
    if (!current.isEmpty())
        closed.append(current);
    QList<ComposedContext> messages;
    for (const QList<Prepared>& batch : closed)
        messages.append(compose(withEntries(draft, batch), selections, preamble, profile, maxTokens, true));
    return messages;
}

inline SplitCopyPlan planSplitCopy(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens)
{
    SplitCopyPlan plan;
    plan.messages = splitForMessages(draft, selections, preamble, profile, maxTokens);
    if (maxTokens < 1) {
        plan.notice = u"The token budget must be greater than zero."_qs;
    } else if (plan.messages.isEmpty()) {
        plan.notice = u"Nothing to copy yet."_qs;
    } else if (std::any_of(plan.messages.cbegin(), plan.messages.cend(),
                   [&](const ComposedContext& m) { return m.tokens > maxTokens; })) {
        plan.notice = u"Cannot split within this estimated budget. Shorten the task, turn off the preamble, trim "
                      u"oversized sources, or export."_qs;
    } else {
        QStringList blocks;
        for (qsizetype i = 0; i < plan.messages.size(); ++i) {
            const QString label = u"\u2014\u2014 MESSAGE "_qs + QString::number(i + 1) + u" OF "_qs
                + QString::number(plan.messages.size()) + u" \u00B7 "_qs
                + TokenEstimator::format(plan.messages[i].tokens) + u" tokens \u2014\u2014"_qs;
            blocks.append(label + u"\n\n"_qs + plan.messages[i].text);
        }
        plan.clipboardText = blocks.join(u"\n\n"_qs);
        plan.notice = u"Message token counts are estimates. Paste each message separately without its separator "
                      u"label."_qs;
    }
    return plan;
}

} // namespace PlainComposer
