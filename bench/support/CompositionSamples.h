#pragma once
// Generated inputs of the composition benchmarks: prose from a fixed vocabulary, drafts of many
// entries, a long pasted text and texts for the near-duplicate search. The same for the same
// arguments.

#include "ZubraCore/Composition/Dedupe.h"
#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QList>
#include <QRandomGenerator>
#include <QString>

namespace CompositionSamples {

// Prose of exactly `length` code units, in sentences and lines; with `code`, a line of code now and then.
QString prose(QRandomGenerator& rng, qsizetype length, bool code = false);

struct Library
{
    QList<Selection> selections;
    ContextDraft draft;
};

// A draft of `entries` entries of 2,000 characters from entries / 5 sources, made once per size.
const Library& draftOf(int entries);
const Library& bigDraft(); // 2,000 entries

// Pasted text of paragraphs and CR LF runs.
QString pastedText(qsizetype length);
const QString& pastedText(); // 5 MB

// `count` texts of 2,000 characters, one in ten a lightly changed copy of an earlier one.
QList<Dedupe::IdText> dedupeTexts(int count);

// At least `utf8Bytes` of UTF-8: English prose, source code, Chinese and Japanese text, emoji with
// modifiers, flags, combining accents and Devanagari, in chunks of random kinds.
QString mixedText(qsizetype utf8Bytes);

} // namespace CompositionSamples
