#include "Zubra/Composer/DraftOperations.h"

#include "ZubraCore/Composition/ContextComposer.h"
#include "ZubraCore/Composition/Dedupe.h"
#include "ZubraCore/Composition/PromptTemplate.h"
#include "ZubraCore/Composition/PromptTemplates.h"
#include "ZubraCore/Composition/TextImport.h"
#include "ZubraCore/Library/Store.h"
#include "ZubraCore/Text/TextMetrics.h"

#include <QHash>
#include <QSet>

using namespace Qt::StringLiterals;

namespace DraftOperations {

namespace {

// Changes the draft when it exists and stores it; false when it is gone.
template <typename Change> bool withDraft(Store& store, const QUuid& draftID, Change change)
{
    std::optional<ContextDraft> draft = store.findDraft(draftID);
    if (!draft)
        return false;
    change(*draft);
    store.updateDraft(*draft);
    return true;
}

qsizetype indexOfEntry(const ContextDraft& draft, const QUuid& entryID)
{
    for (qsizetype i = 0; i < draft.entries.size(); ++i)
        if (draft.entries[i].id == entryID)
            return i;
    return -1;
}

const Selection* findSelection(const Store& store, const QUuid& id)
{
    for (const Selection& s : store.selections())
        if (s.id == id)
            return &s;
    return nullptr;
}

// A grapheme cluster counts as a letter or number by its first code point.
bool isLetterOrNumber(QStringView cluster)
{
    const char32_t first = cluster.isEmpty() ? 0 : cluster.toUcs4().constFirst();
    return QChar::isLetterOrNumber(first);
}

QString trimmedOfSpacesAndTabs(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && (text[first] == u' ' || text[first] == u'\t'))
        ++first;
    while (last > first && (text[last - 1] == u' ' || text[last - 1] == u'\t'))
        --last;
    return text.mid(first, last - first);
}

QString plural(qsizetype n)
{
    return n == 1 ? QString() : u"s"_s;
}

} // namespace

void setName(Store& store, const QUuid& draftID, const QString& name)
{
    withDraft(store, draftID, [&](ContextDraft& d) { d.name = name; });
}

void setTask(Store& store, const QUuid& draftID, const QString& task)
{
    withDraft(store, draftID, [&](ContextDraft& d) { d.task = task; });
}

void setNote(Store& store, const QUuid& draftID, const QUuid& entryID, const QString& note)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        const qsizetype i = indexOfEntry(d, entryID);
        if (i >= 0)
            d.entries[i].note = note.trimmed().isEmpty() ? std::nullopt : std::optional<QString>(note);
    });
}

QString applyTemplate(Store& store, const QUuid& draftID, const PromptTemplate& promptTemplate)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        d.task = promptTemplate.task;
        d.templateName = ComposerTemplates::rawValue(promptTemplate.templateKind);
    });
    return u"Applied template \u201C"_s + promptTemplate.name + u"\u201D."_s;
}

QString applyTrim(Store& store, const QUuid& draftID, const QUuid& entryID, const QString& editorText)
{
    enum class Outcome { cleared, unchanged, applied };
    std::optional<QString> currentBody;
    if (const auto draft = store.findDraft(draftID)) {
        const qsizetype i = indexOfEntry(*draft, entryID);
        if (i >= 0)
            if (const Selection* selection = findSelection(store, draft->entries[i].selectionID))
                currentBody = ContextComposer::entryBody(draft->entries[i], *selection);
    }
    const Outcome outcome = editorText.trimmed().isEmpty() ? Outcome::cleared
        : (currentBody && editorText == *currentBody)      ? Outcome::unchanged
                                                           : Outcome::applied;
    withDraft(store, draftID, [&](ContextDraft& d) {
        const qsizetype i = indexOfEntry(d, entryID);
        if (i < 0)
            return;
        if (outcome == Outcome::cleared)
            d.entries[i].customText.reset();
        else if (outcome == Outcome::applied)
            d.entries[i].customText = editorText;
    });
    switch (outcome) {
    case Outcome::cleared:
        return u"Trim cleared \u2014 using the captured source again."_s;
    case Outcome::unchanged:
        return u"No change made."_s;
    case Outcome::applied:
        break;
    }
    return u"Trim applied."_s;
}

ImportOutcome addImported(Store& store, const QUuid& draftID, const QString& pastedText)
{
    const QStringList chunks = TextImport::chunks(pastedText, importChunkLength);
    const QList<Selection> added = store.addImportedTextChunks(chunks, QString::fromUtf16(pastedTextAppName));
    ImportOutcome outcome;
    outcome.imported = added.size();
    if (added.isEmpty())
        return outcome;
    // Into a draft that has gone the chunks stay in the library, and no notice claims otherwise.
    // All chunks go into the draft in one change: one update, one refresh of the views.
    const bool draftExists = withDraft(store, draftID, [&](ContextDraft& d) {
        QSet<QUuid> present;
        for (const ContextDraftEntry& e : d.entries)
            present.insert(e.selectionID);
        d.entries.reserve(d.entries.size() + added.size());
        for (const Selection& s : added) {
            if (present.contains(s.id))
                continue;
            ContextDraftEntry entry;
            entry.id = QUuid::createUuid();
            entry.selectionID = s.id;
            d.entries.append(entry);
            present.insert(s.id);
        }
    });
    if (draftExists)
        outcome.notice = u"Imported "_s + QString::number(added.size()) + u" chunk"_s + plural(added.size())
            + u" into the prompt."_s;
    return outcome;
}

void addToDraft(Store& store, const QUuid& draftID, const QUuid& selectionID)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        for (const ContextDraftEntry& e : d.entries)
            if (e.selectionID == selectionID)
                return;
        ContextDraftEntry entry;
        entry.id = QUuid::createUuid();
        entry.selectionID = selectionID;
        d.entries.append(entry);
    });
}

QString templateIdentifier(const QString& name)
{
    const QString lower = name.toLower();
    const QList<qsizetype> bounds = TextMetrics::boundaries(lower);
    QStringList runs;
    QString run;
    for (qsizetype b = 0; b + 1 < bounds.size(); ++b) {
        const QStringView cluster = QStringView(lower).mid(bounds[b], bounds[b + 1] - bounds[b]);
        if (isLetterOrNumber(cluster)) {
            run += cluster;
        } else if (!run.isEmpty()) {
            runs.append(run);
            run.clear();
        }
    }
    if (!run.isEmpty())
        runs.append(run);
    if (runs.isEmpty())
        return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    return runs.join(u'-');
}

std::optional<QString> saveTemplate(Store& store, const QUuid& draftID, const QString& typedName, QSettings& defaults)
{
    const auto draft = store.findDraft(draftID);
    if (!draft)
        return std::nullopt;
    const QString name = trimmedOfSpacesAndTabs(typedName);
    PromptTemplate promptTemplate;
    promptTemplate.id = templateIdentifier(name);
    promptTemplate.name = name;
    promptTemplate.task = draft->task;
    promptTemplate.templateKind = draft->templateKind();
    PromptTemplates::saveCustom(promptTemplate, defaults);
    return u"Saved template \u201C"_s + name + u"\u201D."_s;
}

std::optional<QString> removeDuplicates(Store& store, const QUuid& draftID)
{
    const auto draft = store.findDraft(draftID);
    if (!draft)
        return std::nullopt;
    QHash<QUuid, const Selection*> lookup;
    lookup.reserve(store.selections().size());
    for (const Selection& s : store.selections())
        if (!lookup.contains(s.id))
            lookup.insert(s.id, &s);
    QList<Dedupe::IdText> pairs;
    for (const ContextDraftEntry& e : draft->entries) {
        if (!e.include)
            continue;
        if (const Selection* selection = lookup.value(e.selectionID))
            pairs.append({e.id, ContextComposer::entryBody(e, *selection)});
    }
    QSet<QUuid> remove;
    for (const Dedupe::DuplicateGroup& group : Dedupe::duplicateGroups(pairs, duplicateThreshold))
        for (const QUuid& id : group.removeIDs)
            remove.insert(id);
    if (remove.isEmpty())
        return u"No near-duplicate sources found."_s;
    withDraft(store, draftID, [&](ContextDraft& d) {
        d.entries.removeIf([&](const ContextDraftEntry& e) { return remove.contains(e.id); });
    });
    return u"Removed "_s + QString::number(remove.size()) + u" duplicate source"_s + plural(remove.size()) + u"."_s;
}

QString removeExcluded(Store& store, const QUuid& draftID)
{
    withDraft(store, draftID,
        [](ContextDraft& d) { d.entries.removeIf([](const ContextDraftEntry& e) { return !e.include; }); });
    return u"Removed excluded sources."_s;
}

void toggleInclude(Store& store, const QUuid& draftID, const QUuid& entryID)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        if (const qsizetype i = indexOfEntry(d, entryID); i >= 0)
            d.entries[i].include = !d.entries[i].include;
    });
}

void togglePin(Store& store, const QUuid& draftID, const QUuid& entryID)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        if (const qsizetype i = indexOfEntry(d, entryID); i >= 0)
            d.entries[i].pin = !d.entries[i].pin;
    });
}

void toggleVerbatim(Store& store, const QUuid& draftID, const QUuid& entryID)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        if (const qsizetype i = indexOfEntry(d, entryID); i >= 0)
            d.entries[i].verbatim = !d.entries[i].verbatim;
    });
}

void removeEntry(Store& store, const QUuid& draftID, const QUuid& entryID)
{
    withDraft(store, draftID,
        [&](ContextDraft& d) { d.entries.removeIf([&](const ContextDraftEntry& e) { return e.id == entryID; }); });
}

void move(Store& store, const QUuid& draftID, const QUuid& entryID, int offset)
{
    withDraft(store, draftID, [&](ContextDraft& d) {
        const qsizetype i = indexOfEntry(d, entryID);
        if (i >= 0 && i + offset >= 0 && i + offset < d.entries.size())
            d.entries.swapItemsAt(i, i + offset);
    });
}

void moveEntry(Store& store, const QUuid& draftID, const std::optional<QUuid>& draggedID, const QUuid& targetID)
{
    if (!draggedID || *draggedID == targetID)
        return;
    withDraft(store, draftID, [&](ContextDraft& d) {
        const qsizetype from = indexOfEntry(d, *draggedID);
        const qsizetype to = indexOfEntry(d, targetID);
        if (from >= 0 && to >= 0)
            d.entries.move(from, to);
    });
}

QString safeFileName(const QString& name)
{
    const QList<qsizetype> bounds = TextMetrics::boundaries(name);
    QString out;
    out.reserve(name.size());
    for (qsizetype b = 0; b + 1 < bounds.size(); ++b) {
        const QStringView cluster = QStringView(name).mid(bounds[b], bounds[b + 1] - bounds[b]);
        if (isLetterOrNumber(cluster) || cluster == u"-" || cluster == u"_" || cluster == u" ")
            out += cluster;
        else
            out += u'-';
    }
    out = trimmedOfSpacesAndTabs(out);
    return out.isEmpty() ? u"prompt"_s : out;
}

} // namespace DraftOperations
