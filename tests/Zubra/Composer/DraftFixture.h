#pragma once
// A store holding one draft whose entries are new selections of the given texts, in that order.

#include "Zubra/Composer/DraftOperations.h"
#include "ZubraCore/Library/StoreHarness.h"

struct DraftFixture
{
    explicit DraftFixture(const QStringList& texts = {})
    {
        Store& s = harness.open();
        for (const QString& text : texts)
            s.add(capture(text));
        draftID = s.newDraft(QStringLiteral("Draft"))->id;
        // Newest first in the library: add the entries in capture order.
        for (qsizetype i = s.selections().size() - 1; i >= 0; --i)
            DraftOperations::addToDraft(s, draftID, s.selections()[i].id);
    }
    Store& store() { return *harness.store; }
    ContextDraft draft() { return *store().findDraft(draftID); }
    QUuid entry(int i) { return draft().entries[i].id; }
    // The entries' texts in draft order.
    QStringList order()
    {
        QStringList texts;
        for (const ContextDraftEntry& e : draft().entries)
            texts.append(store().findByID(e.selectionID)->text);
        return texts;
    }

    StoreHarness harness;
    QUuid draftID;
};
