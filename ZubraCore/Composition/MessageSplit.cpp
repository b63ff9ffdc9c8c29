// Splitting a draft into messages that each fit a token budget, and the text to copy them.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PreparedEntries.h"
#include "ZubraCore/Composition/PromptModel.h"
#include "ZubraCore/Composition/TokenEstimator.h"

namespace ContextComposer {

namespace {

QString overBudgetSentence(qint64 tokens, qint64 maxTokens)
{
    return u"Over budget by an estimated "_qs + TokenEstimator::format(tokens - maxTokens) + u" tokens."_qs;
}

} // namespace

QList<ComposedContext> splitForMessages(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens)
{
    if (!hasContent(draft, selections, preamble))
        return {};
    const QList<PreparedEntry> prepared = preparedEntries(draft, selections);
    if (maxTokens < 1 || prepared.isEmpty())
        return {compose(draft, selections, preamble, profile, maxTokens, true)};

    const PromptModel model(draft, prepared, preamble);
    const ModelProfile& estimateProfile = profile ? *profile : draft.modelProfile();
    auto estimateOf = [&](qsizetype first, qsizetype last) {
        return TokenEstimator::estimateForCount(model.characters(first, last), estimateProfile);
    };

    // Batches are contiguous runs of the prepared order: [start, end) with their estimate.
    struct Batch
    {
        qsizetype start;
        qsizetype end;
        qint64 tokens;
    };
    QList<Batch> batches;
    qsizetype start = 0;
    qint64 tokens = 0;
    for (qsizetype next = 0; next < prepared.size(); ++next) {
        const qint64 candidate = estimateOf(start, next + 1);
        if (candidate <= maxTokens || next == start) {
            tokens = candidate;
            continue;
        }
        batches.append({start, next, tokens});
        start = next;
        tokens = estimateOf(next, next + 1);
    }
    batches.append({start, prepared.size(), tokens});

    QList<ComposedContext> messages;
    messages.reserve(batches.size());
    for (const Batch& b : batches) {
        ComposedContext message;
        message.text = model.text(b.start, b.end);
        message.tokens = b.tokens;
        message.entryCount = b.end - b.start;
        if (b.tokens > maxTokens)
            message.feedback.append(overBudgetSentence(b.tokens, maxTokens));
        messages.append(std::move(message));
    }
    return messages;
}

SplitCopyPlan planSplitCopy(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens)
{
    SplitCopyPlan plan;
    plan.messages = splitForMessages(draft, selections, preamble, profile, maxTokens);
    if (maxTokens < 1) {
        plan.notice = u"The token budget must be greater than zero."_qs;
        return plan;
    }
    if (plan.messages.isEmpty()) {
        plan.notice = u"Nothing to copy yet."_qs;
        return plan;
    }
    for (const ComposedContext& m : plan.messages) {
        if (m.tokens > maxTokens) {
            plan.notice = u"Cannot split within this estimated budget. Shorten the task, turn off the preamble, "
                          u"trim oversized sources, or export."_qs;
            return plan;
        }
    }
    const QString count = QString::number(plan.messages.size());
    QString text;
    for (qsizetype i = 0; i < plan.messages.size(); ++i) {
        const ComposedContext& m = plan.messages[i];
        if (i > 0)
            text += u"\n\n";
        text += u"\u2014\u2014 MESSAGE "_qs + QString::number(i + 1) + u" OF "_qs + count + u" \u00B7 "_qs
            + TokenEstimator::format(m.tokens) + u" tokens \u2014\u2014\n\n"_qs + m.text;
    }
    plan.clipboardText = std::move(text);
    plan.notice = u"Message token counts are estimates. Paste each message separately without its separator label."_qs;
    return plan;
}

} // namespace ContextComposer
