// Near-duplicate finding: normalisation, trigrams, similarity, grouping, and the indexed search
// against the all-pairs definition.

#include "RandomTexts.h"
#include "ZubraCore/Composition/Dedupe.h"
#include "support/TestMain.h"

#include <QtTest>

namespace {

// The grouping rule over all pairs, as the plain definition states it.
QList<Dedupe::DuplicateGroup> plainGroups(const QList<Dedupe::IdText>& pairs, double threshold)
{
    const qsizetype n = pairs.size();
    std::vector<double> bestScore(n, 0.0);
    std::vector<qsizetype> bestIndex(n, -1);
    for (qsizetype i = 0; i < n; ++i) {
        if (pairs[i].second.isEmpty())
            continue;
        for (qsizetype j = i + 1; j < n; ++j) {
            if (pairs[j].second.isEmpty())
                continue;
            const double s = Dedupe::similarity(pairs[i].second, pairs[j].second);
            if (s >= threshold && (bestIndex[j] < 0 || s > bestScore[j])) {
                bestScore[j] = s;
                bestIndex[j] = i;
            }
        }
    }
    std::vector<QList<QUuid>> members(n);
    std::vector<double> scores(n, 0.0);
    for (qsizetype j = 0; j < n; ++j) {
        if (bestScore[j] > 0) {
            members[bestIndex[j]].append(pairs[j].first);
            scores[bestIndex[j]] = std::max(scores[bestIndex[j]], bestScore[j]);
        }
    }
    QList<Dedupe::DuplicateGroup> groups;
    for (qsizetype t = 0; t < n; ++t)
        if (!members[t].isEmpty())
            groups.append({pairs[t].first, members[t], scores[t]});
    return groups;
}

QList<QUuid> ids(int n)
{
    QList<QUuid> list;
    for (int i = 0; i < n; ++i)
        list.append(QUuid::createUuid());
    return list;
}

QList<Dedupe::IdText> pairsOf(const QList<QUuid>& ids, const QStringList& texts)
{
    QList<Dedupe::IdText> pairs;
    for (qsizetype i = 0; i < texts.size(); ++i)
        pairs.append({ids[i], texts[i]});
    return pairs;
}

// A text with a few words changed, to land at various similarities.
QString mutated(QRandomGenerator& rng, const QString& text)
{
    QStringList words = text.split(u' ');
    const int changes = rng.bounded(4);
    for (int c = 0; c < changes && !words.isEmpty(); ++c)
        words[rng.bounded(int(words.size()))] = RandomTexts::text(rng, 2);
    return words.join(u' ');
}

} // namespace

class TestDedupe : public QObject
{
    Q_OBJECT

private slots:
    void normalize_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::addRow("case, punctuation, spacing") << u"  Hello,   WORLD!\n\tAgain. "_qs << u"hello world again"_qs;
        QTest::addRow("marks and digits stay") << u"Cafe\u0301 n\u00BA 42"_qs << u"cafe\u0301 n\u00BA 42"_qs;
        QTest::addRow("symbols and emoji separate") << u"a+b\U0001F600c\u200Dd"_qs << u"a b c d"_qs;
        QTest::addRow("letters beyond the basic plane") << u"x\U00010400y"_qs << u"x\U00010428y"_qs;
        QTest::addRow("only punctuation") << u"?! ... --"_qs << u""_qs;
        QTest::addRow("empty") << u""_qs << u""_qs;
    }
    void normalize()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(Dedupe::normalize(text), expected);
    }

    void trigrams_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("expected");
        QTest::addRow("empty") << u""_qs << QStringList {u""_qs};
        QTest::addRow("two characters") << u"ab"_qs << QStringList {u"ab"_qs};
        QTest::addRow("three") << u"abc"_qs << QStringList {u"abc"_qs};
        QTest::addRow("repeats kept") << u"aaaa"_qs << QStringList {u"aaa"_qs, u"aaa"_qs};
        QTest::addRow("clusters and NFC") << u"e\u0301xyz"_qs << QStringList {u"\u00E9xy"_qs, u"xyz"_qs};
    }
    void trigrams()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, expected);
        QCOMPARE(Dedupe::trigrams(text), expected);
    }

    void similarity_data()
    {
        QTest::addColumn<QString>("lhs");
        QTest::addColumn<QString>("rhs");
        QTest::addColumn<double>("expected");
        QTest::addRow("identical") << u"the quick fox"_qs << u"the quick fox"_qs << 1.0;
        QTest::addRow("case and punctuation") << u"The, quick  fox!"_qs << u"the quick fox"_qs << 1.0;
        QTest::addRow("canonically equal") << u"caf\u00E9 au lait"_qs << u"cafe\u0301 au lait"_qs << 1.0;
        // {abc, bcd} against {abc, bce}: 2 * 1 / 4.
        QTest::addRow("half") << u"abcd"_qs << u"abce"_qs << 0.5;
        QTest::addRow("both blank") << u"?!"_qs << u"..."_qs << 1.0;
        QTest::addRow("one blank") << u"?!"_qs << u"a"_qs << 0.0;
        QTest::addRow("short equal") << u"ab"_qs << u"AB"_qs << 1.0;
        QTest::addRow("short different") << u"ab"_qs << u"ac"_qs << 0.0;
        // {aaa} against {aaa, aab}: 2 * 1 / 3.
        QTest::addRow("sets not lists") << u"aaaa"_qs << u"aaab"_qs << 2.0 / 3.0;
    }
    void similarity()
    {
        QFETCH(QString, lhs);
        QFETCH(QString, rhs);
        QFETCH(double, expected);
        QCOMPARE(Dedupe::similarity(lhs, rhs), expected);
        QCOMPARE(Dedupe::similarity(rhs, lhs), expected);
    }

    void groups_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<QString>("expected"); // "keep:remove,remove:score;..." by position
        QTest::addRow("none") << QStringList() << 0.85 << u""_qs;
        QTest::addRow("single") << QStringList {u"alpha"_qs} << 0.85 << u""_qs;
        QTest::addRow("identical") << QStringList {u"same text here"_qs, u"Same text, here!"_qs} << 0.85 << u"0:1:1"_qs;
        QTest::addRow("unrelated") << QStringList {u"alpha beta"_qs, u"gamma delta"_qs} << 0.85 << u""_qs;
        QTest::addRow("tie goes to the earlier")
            << QStringList {u"abcd"_qs, u"abcd"_qs, u"abcd"_qs} << 0.85 << u"0:1,2:1"_qs;
        // Second like first, third like second only: two groups, the second text in both.
        QTest::addRow("chains are not merged")
            << QStringList {u"abcdef"_qs, u"abcdefg"_qs, u"bcdefgh"_qs} << 0.7 << u"0:1:0.888889;1:2:0.8"_qs;
        QTest::addRow("better later match wins")
            << QStringList {u"abcdefgh"_qs, u"abcdefgh ij"_qs, u"abcdefgh i"_qs} << 0.5 << u"0:1:0.8;1:2:0.941176"_qs;
        QTest::addRow("empty text takes no part") << QStringList {u""_qs, u""_qs, u"x"_qs} << 0.0 << u""_qs;
        // The first text lower-cases to ASCII only through the Unicode tables; both must share trigrams.
        QTest::addRow("Kelvin sign as the letter k")
            << QStringList {u"\u212Aelvin scale"_qs, u"Kelvin  scale!"_qs} << 0.85 << u"0:1:1"_qs;
        QTest::addRow("punctuation only") << QStringList {u"?!"_qs, u"word"_qs, u"..."_qs} << 0.85 << u"0:2:1"_qs;
        QTest::addRow("zero threshold needs a positive score") << QStringList {u"abc"_qs, u"xyz"_qs} << 0.0 << u""_qs;
        QTest::addRow("threshold above one") << QStringList {u"abc"_qs, u"abc"_qs} << 1.5 << u""_qs;
        QTest::addRow("threshold not a number") << QStringList {u"abc"_qs, u"abc"_qs} << qQNaN() << u""_qs;
    }
    void groups()
    {
        QFETCH(QStringList, texts);
        QFETCH(double, threshold);
        QFETCH(QString, expected);
        const QList<QUuid> idList = ids(int(texts.size()));
        const QList<Dedupe::DuplicateGroup> groups = Dedupe::duplicateGroups(pairsOf(idList, texts), threshold);
        QStringList described;
        for (const Dedupe::DuplicateGroup& g : groups) {
            QStringList removed;
            for (const QUuid& id : g.removeIDs)
                removed.append(QString::number(idList.indexOf(id)));
            described.append(QString::number(idList.indexOf(g.keepID)) + u':' + removed.join(u',') + u':'
                + QString::number(g.score));
        }
        QCOMPARE(described.join(u';'), expected);
    }

    void matchesAllPairs_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<double>("threshold");
        QTest::addColumn<int>("count");
        for (int i = 0; i < 60; ++i)
            QTest::addRow("seed %d", i) << quint32(3000 + i)
                                        << std::vector<double> {0.0, 0.3, 0.6, 0.85, 0.95, 1.0}[i % 6] << 40;
        // Enough texts for the search to share them out among threads.
        QTest::addRow("600 texts") << quint32(4000) << 0.6 << 600;
    }
    void matchesAllPairs()
    {
        QFETCH(quint32, seed);
        QFETCH(double, threshold);
        QFETCH(int, count);
        QRandomGenerator rng(seed);
        QStringList texts;
        for (int i = 0; i < count; ++i) {
            if (!texts.isEmpty() && rng.bounded(2))
                texts.append(mutated(rng, texts[rng.bounded(int(texts.size()))]));
            else
                texts.append(RandomTexts::text(rng, 12));
        }
        const QList<Dedupe::IdText> pairs = pairsOf(ids(int(texts.size())), texts);
        QCOMPARE(Dedupe::duplicateGroups(pairs, threshold), plainGroups(pairs, threshold));
    }
};

TESSELLON_TEST_MAIN(TestDedupe)
#include "tst_Dedupe.moc"
