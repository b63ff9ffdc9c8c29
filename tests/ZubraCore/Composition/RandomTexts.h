#pragma once
// Random texts and drafts built from fragments that stress character counting and rendering:
// combining marks (also at the very start), CR LF, emoji sequences, flags and lone regional
// indicators, prepended marks, backtick runs, markup characters and code.

#include "ZubraCore/Library/ContextDraft.h"
#include "ZubraCore/Library/Selection.h"

#include <QRandomGenerator>
#include <QStringList>

namespace RandomTexts {

inline const QStringList& fragments()
{
    static const QStringList list = {u"word"_qs, u"Prose"_qs, u" "_qs, u"  "_qs, u"\n"_qs, u"\n\n"_qs, u"\r\n"_qs,
        u"\r"_qs, u"\t"_qs, u"\u0301"_qs, u"e\u0301"_qs, u"\u00E9"_qs, u"\U0001F469\u200D\U0001F4BB"_qs,
        u"\U0001F1FA\U0001F1F8"_qs, u"\U0001F1E9"_qs, u"\u0600"_qs, u"\u1100\u1161"_qs, u"\u200D"_qs, u"```"_qs,
        u"````"_qs, u"`"_qs, u"let x = 1;"_qs, u"{[()]}"_qs, u"&<>\"'"_qs, u"def f():\n    # x"_qs,
        u"{\"a\": [1, 2]}"_qs, u"%1"_qs, u"\u4E2D\u6587"_qs, u"---"_qs, u"_"_qs, u"#"_qs, u">"_qs, u"caf\u00E9"_qs,
        u"cafe\u0301"_qs, u"0123456789"_qs, u"Lorem ipsum dolor sit amet, consectetur adipiscing elit"_qs};
    return list;
}

inline QString text(QRandomGenerator& rng, int maxFragments)
{
    QString s;
    const int n = rng.bounded(maxFragments + 1);
    for (int i = 0; i < n; ++i)
        s += fragments()[rng.bounded(int(fragments().size()))];
    return s;
}

inline std::optional<QString> maybe(QRandomGenerator& rng, const QString& value, int percent = 50)
{
    return rng.bounded(100) < percent ? std::optional<QString>(value) : std::nullopt;
}

inline QList<Selection> selections(QRandomGenerator& rng, int count)
{
    static const QStringList urls = {u"https://example.com/a"_qs, u"https://caf\u00E9.example/"_qs,
        u"https://cafe\u0301.example/"_qs, u"\u0301https://x.test"_qs, u""_qs};
    static const QStringList paths = {u"/home/u/notes.md"_qs, u"/tmp/\U0001F1FA.txt"_qs, u""_qs};
    static const QStringList apps = {u"Firefox"_qs, u"Editor"_qs, u""_qs, u"\u0301App"_qs};
    QList<Selection> list;
    for (int i = 0; i < count; ++i) {
        Selection s;
        s.id = QUuid::createUuid();
        s.text = text(rng, 8);
        s.setMarkdown(rng.bounded(3) == 0 ? text(rng, 6) : s.text);
        s.appName = apps[rng.bounded(int(apps.size()))];
        s.sourceURL = maybe(rng, urls[rng.bounded(int(urls.size()))], 40);
        s.filePath = maybe(rng, paths[rng.bounded(int(paths.size()))], 30);
        s.sourceTitle = maybe(rng, text(rng, 3), 50);
        list.append(s);
    }
    return list;
}

inline ContextDraft draft(QRandomGenerator& rng, const QList<Selection>& selections, int entryCount)
{
    static const QStringList layouts = {u"Sections"_qs, u"XML-tagged"_qs, u"Plain"_qs, u"xml-tagged"_qs, u""_qs};
    ContextDraft d;
    d.id = QUuid::createUuid();
    d.task = rng.bounded(3) == 0 ? QString() : text(rng, 5);
    d.templateName = layouts[rng.bounded(int(layouts.size()))];
    d.modelProfileID = rng.bounded(2) ? u"gpt-4o"_qs : u"local-16k"_qs;
    for (int i = 0; i < entryCount; ++i) {
        ContextDraftEntry e;
        e.id = QUuid::createUuid();
        e.selectionID = (selections.isEmpty() || rng.bounded(10) == 0)
            ? QUuid::createUuid()
            : selections[rng.bounded(int(selections.size()))].id;
        e.include = rng.bounded(8) != 0;
        e.pin = rng.bounded(5) == 0;
        e.verbatim = rng.bounded(5) == 0;
        e.note = maybe(rng, text(rng, 3), 30);
        e.customText = maybe(rng, text(rng, 6), 20);
        d.entries.append(e);
    }
    return d;
}

} // namespace RandomTexts
