#include "ZubraCore/Drag/SelectionDragIDs.h"
#include "ZubraCore/Text/Uuids.h"
#include "support/TestMain.h"

#include <QTest>

using IdSet = QSet<QUuid>;
Q_DECLARE_METATYPE(std::optional<IdSet>)

namespace {

const QUuid a = QUuid::fromString(u"0a1b2c3d-0000-4000-8000-000000000001"_qs);
const QUuid b = QUuid::fromString(u"9F000000-0000-4000-8000-000000000002"_qs);
const QUuid c = QUuid::fromString(u"aB000000-0000-4000-8000-000000000003"_qs);
const QUuid d = QUuid::fromString(u"F0000000-0000-4000-8000-000000000004"_qs);

QString text(const QUuid& id) { return Uuids::toText(id); }

} // namespace

class TestSelectionDragIDs : public QObject
{
    Q_OBJECT

private slots:
    void encode_data();
    void encode();
    void encodingIgnoresSetOrder();
    void parse_data();
    void parse();
    void roundTrip();
};

void TestSelectionDragIDs::encode_data()
{
    QTest::addColumn<IdSet>("ids");
    QTest::addColumn<QString>("payload");
    QTest::newRow("empty") << IdSet {} << u"tessellonsel:"_qs;
    QTest::newRow("one") << IdSet {c} << u"tessellonsel:AB000000-0000-4000-8000-000000000003"_qs;
    // Text order, not the identifiers' own order (which looks at the variant first).
    QTest::newRow("four, digits before letters")
        << IdSet {d, c, b, a}
        << u"tessellonsel:0A1B2C3D-0000-4000-8000-000000000001,9F000000-0000-4000-8000-000000000002,"
           "AB000000-0000-4000-8000-000000000003,F0000000-0000-4000-8000-000000000004"_qs;
    QTest::newRow("text order across variants")
        << IdSet {QUuid::fromString(u"10000000-0000-4000-8000-000000000000"_qs),
               QUuid::fromString(u"00000000-0000-4000-c000-000000000000"_qs)}
        << u"tessellonsel:00000000-0000-4000-C000-000000000000,10000000-0000-4000-8000-000000000000"_qs;
}

void TestSelectionDragIDs::encode()
{
    QFETCH(IdSet, ids);
    QFETCH(QString, payload);
    QCOMPARE(SelectionDragIDs::encode(ids), payload);
}

void TestSelectionDragIDs::encodingIgnoresSetOrder()
{
    IdSet forward;
    IdSet backward;
    QList<QUuid> many;
    for (int i = 0; i < 200; ++i)
        many.append(QUuid::createUuid());
    for (const QUuid& id : many)
        forward.insert(id);
    for (auto it = many.crbegin(); it != many.crend(); ++it)
        backward.insert(*it);
    backward.reserve(4096); // a different bucket layout enumerates in another order
    const QString payload = SelectionDragIDs::encode(forward);
    QCOMPARE(SelectionDragIDs::encode(backward), payload);
    QCOMPARE(payload, payload.toUpper().replace(u"TESSELLONSEL:"_qs, SelectionDragIDs::prefix));
    QCOMPARE(payload.size(), 13 + 200 * 36 + 199);
}

void TestSelectionDragIDs::parse_data()
{
    QTest::addColumn<std::optional<QString>>("payload");
    QTest::addColumn<std::optional<IdSet>>("ids");
    const QString p = SelectionDragIDs::prefix;
    const std::optional<IdSet> none;
    QTest::newRow("absent") << std::optional<QString>() << none;
    QTest::newRow("prefix alone") << std::optional(p) << none;
    QTest::newRow("lone comma") << std::optional(p + u","_qs) << none;
    QTest::newRow("two commas") << std::optional(p + u",,"_qs) << none;
    QTest::newRow("capital prefix") << std::optional(u"Tessellonsel:"_qs + text(a)) << none;
    QTest::newRow("sentence") << std::optional(u"Hello there, "_qs + text(a)) << none;
    QTest::newRow("web address") << std::optional(u"https://example.com/a,b"_qs) << none;
    QTest::newRow("one valid one malformed")
        << std::optional(p + text(a) + u",not-a-uuid"_qs) << std::optional(IdSet {a});
    QTest::newRow("repeated") << std::optional(p + text(b) + u',' + text(b)) << std::optional(IdSet {b});
    QTest::newRow("lower case") << std::optional(p + text(c).toLower() + u',' + text(d).toLower())
                                << std::optional(IdSet {c, d});
    QTest::newRow("leading, trailing and doubled commas")
        << std::optional(p + u","_qs + text(a) + u",,"_qs + text(b) + u","_qs) << std::optional(IdSet {a, b});
    QTest::newRow("blank after comma skips that one")
        << std::optional(p + text(a) + u", "_qs + text(b)) << std::optional(IdSet {a});
    QTest::newRow("blank before the only one") << std::optional(p + u" "_qs + text(a)) << none;
    QTest::newRow("trailing line break") << std::optional(p + text(a) + u',' + text(b) + u'\n')
                                         << std::optional(IdSet {a});
    // Each piece is one identifier in text form (the forms are Uuids::parse's own tests).
    QTest::newRow("braces") << std::optional(p + u'{' + text(a) + u'}') << none;
}

void TestSelectionDragIDs::parse()
{
    QFETCH(std::optional<QString>, payload);
    QFETCH(std::optional<IdSet>, ids);
    QCOMPARE(SelectionDragIDs::ids(payload), ids);
}

void TestSelectionDragIDs::roundTrip()
{
    for (int size : {1, 3, 50}) {
        IdSet ids;
        while (ids.size() < size)
            ids.insert(QUuid::createUuid());
        QCOMPARE(SelectionDragIDs::ids(SelectionDragIDs::encode(ids)), std::optional(ids));
    }
}

TESSELLON_TEST_MAIN(TestSelectionDragIDs)
#include "tst_SelectionDragIDs.moc"
