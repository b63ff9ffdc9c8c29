// Selections byte for byte between real X clients: what the keeper serves, xclip reads as it
// was given (large data in chunks too), and what xclip serves, the reader reads exactly.

#include "Platform/X11/SelectionTransfer.h"
#include "Platform/X11/XcbConnection.h"
#include "support/TestMain.h"
#include "support/X11Programs.h"

using namespace Qt::StringLiterals;
using SelectionTransfer::Data;
using X11Programs::Child;

Q_DECLARE_METATYPE(SelectionTransfer::Data)

class TestSelectionTransfer : public QObject
{
    Q_OBJECT

private slots:
    void typeKeyRoundTrip_data()
    {
        QTest::addColumn<Data>("data");
        QTest::addColumn<QString>("key");
        QTest::newRow("type is the target") << Data {u"text/html"_s, u"text/html"_s, 8, "<b>x</b>"} << u"text/html"_s;
        QTest::newRow("TEXT answered as UTF8_STRING")
            << Data {u"TEXT"_s, u"UTF8_STRING"_s, 8, "x"} << u"TEXT\nUTF8_STRING\n8"_s;
        QTest::newRow("32-bit data") << Data {u"application/x-ids"_s, u"INTEGER"_s, 32, QByteArray(8, '\1')}
                                     << u"application/x-ids\nINTEGER\n32"_s;
    }
    void typeKeyRoundTrip()
    {
        QFETCH(Data, data);
        QFETCH(QString, key);
        QCOMPARE(SelectionTransfer::typeKey(data), key);
        QCOMPARE(SelectionTransfer::fromTypeKey(key, data.bytes), std::optional<Data>(data));
    }

    void malformedTypeKeysAreRefused_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("two parts") << u"TEXT\nSTRING"_s << QByteArray("x");
        QTest::newRow("format 7") << u"TEXT\nSTRING\n7"_s << QByteArray("x");
        QTest::newRow("bytes not whole units") << u"X\nINTEGER\n32"_s << QByteArray("abc");
        QTest::newRow("empty") << QString() << QByteArray("x");
    }
    void malformedTypeKeysAreRefused()
    {
        QFETCH(QString, key);
        QFETCH(QByteArray, bytes);
        QVERIFY(!SelectionTransfer::fromTypeKey(key, bytes));
    }

    // The keeper hands out what it was given, small or in chunks, and nothing else.
    void keeperServesExactBytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("small") << 1000;
        QTest::newRow("in chunks") << 3 * 1024 * 1024 + 3;
    }
    void keeperServesExactBytes()
    {
        QFETCH(int, size);
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char(i * 7 + i / 251);
        const QList<Data> targets {{u"application/x-tessellon"_s, u"application/x-tessellon"_s, 8, bytes},
            {u"UTF8_STRING"_s, u"UTF8_STRING"_s, 8, "\xe2\x82\xac caf\xc3\xa9"}};
        QVERIFY(SelectionTransfer::Keeper::instance().own(u"CLIPBOARD"_s, targets, QDeadlineTimer(5000)));
        QVERIFY(SelectionTransfer::Keeper::instance().owns());
        for (const Data& data : targets) {
            const auto read = X11Programs::run(u"xclip"_s, {"-o", "-selection", "clipboard", "-t", data.target}, 20000);
            QVERIFY2(read, qPrintable(data.target));
            QCOMPARE(*read, data.bytes);
        }
        const auto list = X11Programs::run(u"xclip"_s, {"-o", "-selection", "clipboard", "-t", "TARGETS"});
        QVERIFY(list);
        QCOMPARE(list->trimmed().split('\n'),
            (QList<QByteArray> {"TARGETS", "TIMESTAMP", "application/x-tessellon", "UTF8_STRING"}));
        QVERIFY(!X11Programs::run(u"xclip"_s, {"-o", "-selection", "clipboard", "-t", "STRING"}));

        // Another program takes the clipboard: the keeper lets go.
        Child other;
        QVERIFY(other.start(u"xclip"_s, {"-quiet", "-selection", "clipboard", "-i"}, "other", true));
        QTRY_VERIFY_WITH_TIMEOUT(!SelectionTransfer::Keeper::instance().owns(), 5000);
    }

    // The reader takes what an owner serves, in chunks too, with the type it was served as.
    void readerReadsExactBytes_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<qsizetype>("cap");
        QTest::addColumn<bool>("read");
        QTest::newRow("small") << 100 << qsizetype(1024) << true;
        QTest::newRow("in chunks") << 2 * 1024 * 1024 << qsizetype(8 * 1024 * 1024) << true;
        QTest::newRow("over the cap") << 2 * 1024 * 1024 << qsizetype(1024 * 1024) << false;
    }
    void readerReadsExactBytes()
    {
        QFETCH(int, size);
        QFETCH(qsizetype, cap);
        QFETCH(bool, read);
        const QByteArray bytes(size, 'q');
        Child owner;
        QVERIFY(
            owner.start(u"xclip"_s, {"-quiet", "-selection", "clipboard", "-t", "image/x-test", "-i"}, bytes, true));
        SelectionTransfer::Reader reader;
        const xcb_atom_t clipboard = reader.atom("CLIPBOARD");
        QTRY_COMPARE_WITH_TIMEOUT(reader.targets(clipboard, QDeadlineTimer(2000)).value_or(QList<QString> {}),
            (QList<QString> {u"TARGETS"_s, u"image/x-test"_s}), 5000);
        const auto data = reader.read(clipboard, u"image/x-test"_s, QDeadlineTimer(10000), cap);
        QCOMPARE(data.has_value(), read);
        if (read) {
            QCOMPARE(data->type, u"image/x-test"_s);
            QCOMPARE(data->format, quint8(8));
            QCOMPARE(data->bytes, bytes);
        }
    }
};

TESSELLON_GUI_TEST_MAIN(TestSelectionTransfer)
#include "tst_SelectionTransfer.moc"
