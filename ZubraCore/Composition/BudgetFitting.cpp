// Fitting a draft to a token budget by dropping optional sources from the end.

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/PreparedEntries.h"
#include "ZubraCore/Composition/PromptModel.h"
#include "ZubraCore/Composition/TokenEstimator.h"

#include <QSet>

namespace ContextComposer {

Reduction reduceToFit(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<ModelProfile>& profile, qint64 maxTokens, const std::optional<QString>& preamble)
{
    if (maxTokens < 1)
        return {draft.entries, {u"The token budget must be greater than zero. No sources were removed."_qs}};
    if (!hasContent(draft, selections, preamble))
        return {draft.entries, {u"Nothing to reduce."_qs}};

    const QList<PreparedEntry> prepared = preparedEntries(draft, selections);
    const PromptModel model(draft, prepared, preamble);
    const ModelProfile& estimateProfile = profile ? *profile : draft.modelProfile();

    // The prompt always holds a prefix of the prepared entries: the removed ones come from the end,
    // and never a pinned one, which all come first. Each entry adds at least its separator to the
    // count (a joint can merge at most one character per side), so the estimate grows with the
    // prefix and the cut point is found by bisection: the longest prefix that fits, else the pinned.
    qsizetype pinned = 0;
    while (pinned < prepared.size() && prepared[pinned].entry.pin)
        ++pinned;
    auto estimateOf
        = [&](qsizetype kept) { return TokenEstimator::estimateForCount(model.characters(0, kept), estimateProfile); };
    qsizetype kept = prepared.size();
    qint64 estimate = estimateOf(kept);
    bool overBudget = false;
    if (estimate > maxTokens) {
        const qint64 floorEstimate = kept > pinned ? estimateOf(pinned) : estimate;
        if (floorEstimate > maxTokens) {
            kept = pinned;
            estimate = floorEstimate;
            overBudget = true;
        } else {
            qsizetype fits = pinned; // fits: estimateOf(fits) <= maxTokens; over: estimateOf(over) > maxTokens
            qsizetype over = kept;
            estimate = floorEstimate;
            while (over - fits > 1) {
                const qsizetype middle = fits + (over - fits) / 2;
                const qint64 e = estimateOf(middle);
                if (e > maxTokens) {
                    over = middle;
                } else {
                    fits = middle;
                    estimate = e;
                }
            }
            kept = fits;
        }
    }

    QSet<qsizetype> removed;
    for (qsizetype i = kept; i < prepared.size(); ++i)
        removed.insert(prepared[i].index);
    Reduction result;
    result.entries.reserve(draft.entries.size() - removed.size());
    for (qsizetype i = 0; i < draft.entries.size(); ++i) {
        if (!removed.contains(i))
            result.entries.append(draft.entries[i]);
    }

    const qsizetype count = removed.size();
    if (count > 0)
        result.feedback.append(
            u"Removed "_qs + QString::number(count) + u" optional source"_qs + (count == 1 ? u"."_qs : u"s."_qs));
    if (overBudget)
        result.feedback.append(u"Still over budget by an estimated "_qs + TokenEstimator::format(estimate - maxTokens)
            + u" tokens. Shorten the task, turn off the preamble, trim pinned sources, or export."_qs);
    else if (count > 0)
        result.feedback.append(u"Now within the estimated budget."_qs);
    else
        result.feedback.append(u"Already within the estimated budget."_qs);
    return result;
}

} // namespace ContextComposer
