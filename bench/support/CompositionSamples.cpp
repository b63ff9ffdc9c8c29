#include "CompositionSamples.h"

#include <map>

namespace CompositionSamples {

namespace {

const QStringList& vocabulary()
{
    static const QStringList words = [] {
        QStringList list;
        QRandomGenerator rng(7);
        for (int i = 0; i < 5000; ++i) {
            QString w;
            const int n = 2 + rng.bounded(9);
            for (int k = 0; k < n; ++k)
                w += QChar(u'a' + rng.bounded(26));
            list.append(w);
        }
        list.append({u"caf\u00E9"_qs, u"na\u0131ve"_qs, u"\U0001F600"_qs, u"\U0001F1E9\U0001F1EA"_qs});
        return list;
    }();
    return words;
}

} // namespace

// Prose of exactly `length` code units, in sentences and lines; with `code`, a line of code now and then.
QString prose(QRandomGenerator& rng, qsizetype length, bool code)
{
    QString s;
    s.reserve(length + 16);
    while (s.size() < length) {
        const int roll = rng.bounded(100);
        if (roll < 2)
            s += u"\n\n";
        else if (roll < 6)
            s += u"\n";
        else if (code && roll < 10)
            s += u"let value = compute(x);\n";
        s += vocabulary()[rng.bounded(int(vocabulary().size()))];
        s += rng.bounded(12) == 0 ? u". "_qs : u" "_qs;
    }
    s.truncate(length);
    return s;
}

namespace {

Library makeDraft(int entries)
{
    Library l;
    QRandomGenerator rng(42);
    l.draft.id = QUuid::createUuid();
    l.draft.task = u"Summarize the key points of each source below."_qs;
    l.draft.templateName = u"Sections"_qs;
    l.draft.modelProfileID = u"gpt-4o"_qs;
    for (int i = 0; i < entries; ++i) {
        const int source = rng.bounded(std::max(1, entries / 5));
        Selection s = Selection::make(QUuid::createUuid(), prose(rng, 2000, i % 10 == 0), std::nullopt, u"Browser"_qs,
            std::nullopt, u"https://example.com/page/"_qs + QString::number(source),
            u"Page "_qs + QString::number(source));
        l.selections.append(s);
        ContextDraftEntry e;
        e.id = QUuid::createUuid();
        e.selectionID = s.id;
        e.pin = i % 500 == 0;
        if (i % 10 == 0)
            e.note = u"Check this one."_qs;
        l.draft.entries.append(e);
    }
    return l;
}

} // namespace

const Library& draftOf(int entries)
{
    static std::map<int, Library> drafts;
    auto found = drafts.find(entries);
    if (found == drafts.end())
        found = drafts.emplace(entries, makeDraft(entries)).first;
    return found->second;
}

const Library& bigDraft()
{
    return draftOf(2000);
}

QString pastedText(qsizetype length)
{
    QRandomGenerator rng(5);
    QString t;
    t.reserve(length);
    while (t.size() < length) {
        t += prose(rng, 200 + rng.bounded(rng.bounded(10) == 0 ? 12000 : 1500));
        t += rng.bounded(3) ? u"\n\n"_qs : u"\r\n\r\n\r\n"_qs;
    }
    return t;
}

const QString& pastedText()
{
    static const QString text = pastedText(5'000'000);
    return text;
}

QList<Dedupe::IdText> dedupeTexts(int count)
{
    QRandomGenerator rng(11);
    QList<Dedupe::IdText> pairs;
    for (int i = 0; i < count; ++i) {
        QString text;
        if (i > 0 && rng.bounded(10) == 0) {
            text = pairs[rng.bounded(i)].second;
            for (int c = 0; c < 5; ++c) // a few words changed
                text.replace(rng.bounded(int(text.size()) - 10), 8, vocabulary()[rng.bounded(100)]);
        } else {
            text = prose(rng, 2000);
        }
        pairs.append({QUuid::createUuid(), text});
    }
    return pairs;
}

QString mixedText(qsizetype utf8Bytes)
{
    const QStringList pieces {
        u"The quick brown fox jumps over the lazy dog while the committee reviews the quarterly report. "_qs,
        u"for (int i = 0; i < count; ++i) {\n    total += values[i] * weight;\n}\r\n"_qs,
        u"\u81EA\u7136\u8A00\u8A9E\u51E6\u7406\u306F\u3001\u4EBA\u9593\u306E\u8A00\u8449\u3092\u6271\u3046\u3002"_qs,
        u"Great work \U0001F44D\U0001F3FD \U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F1E9\U0001F1EA! "_qs,
        u"Caf\u00E9 cre\u0300me bru\u0302le\u0301e, na\u00EFve r\u00E9sum\u00E9s. "_qs,
        u"\u0915\u094D\u0937\u0924\u094D\u0930\u093F\u092F \u0939\u093F\u0928\u094D\u0926\u0940 "_qs,
    };
    QRandomGenerator rng(42);
    QString out;
    qsizetype bytes = 0;
    while (bytes < utf8Bytes) {
        QString chunk;
        for (int i = 0; i < 256; ++i)
            chunk += pieces[rng.bounded(int(pieces.size()))];
        bytes += chunk.toUtf8().size();
        out += chunk;
    }
    return out;
}

} // namespace CompositionSamples
