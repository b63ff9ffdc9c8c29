#pragma once
// Renders a prompt draft into prompt text in its layout, estimates its tokens, fits it to a budget
// and splits it into messages. Pure functions: nothing is cached between calls, nothing throws;
// problems come back as user-facing sentences.

#include "ZubraCore/Composition/ComposedContext.h"
#include "ZubraCore/Library/ModelProfile.h"
#include "ZubraCore/Composition/SplitCopyPlan.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ContextComposer {

// The grounding instruction callers pass as the preamble.
const QString& defaultPreamble();

// Renders the draft's included entries whose selections exist. With a budget, reports going over it.
ComposedContext compose(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble = std::nullopt, const std::optional<ModelProfile>& profile = std::nullopt,
    std::optional<qint64> maxTokens = std::nullopt, bool groupBySource = true);

// The text one entry contributes to a prompt (its note excluded).
QString entryBody(const ContextDraftEntry& entry, const Selection& selection);

// True when the text looks like source code rather than prose.
bool looksLikeCode(const QString& text);

// "json", "swift" or "python" for a text that looks like code in that language.
std::optional<QString> detectCodeLanguage(const QString& text);

// The heading of a selection's source: title and location, either alone, or the application name.
QString sourceLine(const Selection& selection);

// Escapes &, <, > and the double quote; the apostrophe stays.
QString xmlEscape(const QString& text);

// Whether the draft would render anything: a task, a shown preamble or a usable entry.
bool hasContent(const ContextDraft& draft, const QList<Selection>& selections, const std::optional<QString>& preamble);

struct Reduction
{
    QList<ContextDraftEntry> entries; // the draft's entries without the dropped ones
    QStringList feedback;
};

// Drops unpinned entries from the end of the prompt order until the estimate fits maxTokens.
Reduction reduceToFit(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<ModelProfile>& profile, qint64 maxTokens, const std::optional<QString>& preamble);

// Packs whole entries greedily into messages that each repeat the task and preamble.
QList<ComposedContext> splitForMessages(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens);

// The split plus the labelled text to copy, or the reason the copy is refused.
SplitCopyPlan planSplitCopy(const ContextDraft& draft, const QList<Selection>& selections,
    const std::optional<QString>& preamble, const std::optional<ModelProfile>& profile, qint64 maxTokens);

} // namespace ContextComposer
