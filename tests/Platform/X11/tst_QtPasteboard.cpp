#include "support/ClipboardOwner.h"
#include "support/TestMain.h"

#include "Platform/X11/QtPasteboard.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStringEncoder>
#include <atomic>
#include <thread>

using Items = QList<Pasteboard::ItemData>;
using namespace std::chrono_literals;

namespace {

const QString customType = QStringLiteral("application/x-tessellon-custom");
const QString slowType = QStringLiteral("application/x-tessellon-slow");

// Runs the call on a worker thread, as the capture does, while this (GUI) thread keeps serving
// its events; bounded so that a hang fails the test instead of stalling it.
template <typename Fn> auto onWorker(Fn fn) -> std::optional<decltype(fn())>
{
    std::optional<decltype(fn())> result;
    std::atomic<bool> done {false};
    std::thread worker([&] {
        result = fn();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    worker.join();
    return result;
}

// Waits for a child while serving this thread's events (the child may be asking us for data).
bool waitServing(QProcess& process, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (process.state() != QProcess::NotRunning && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return process.state() == QProcess::NotRunning;
}

// What another program reads from the clipboard for a type; no value when it reads nothing.
std::optional<QByteArray> readWithXclip(const QString& type)
{
    QProcess xclip;
    xclip.start(u"xclip"_qs, {u"-selection"_qs, u"clipboard"_qs, u"-o"_qs, u"-t"_qs, type});
    if (!xclip.waitForStarted(5000))
        return std::nullopt;
    if (!waitServing(xclip, 20000)) {
        xclip.kill();
        xclip.waitForFinished(2000);
        return std::nullopt;
    }
    if (xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
        return std::nullopt;
    return xclip.readAllStandardOutput();
}

// Another program owning the clipboard: this test program started in its owner mode.
class Owner
{
public:
    bool start(const Pasteboard::ItemData& formats, const QString& slow = {})
    {
        m_process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(ClipboardOwner::flag)});
        if (!m_process.waitForStarted(5000))
            return false;
        QByteArray input;
        for (const auto& [type, bytes] : formats)
            input += type.toUtf8() + '\t' + bytes.toBase64() + '\n';
        if (!slow.isEmpty())
            input += "slow\t" + slow.toUtf8() + '\n';
        m_process.write(input + "end\n");
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine() && timer.elapsed() < 10000)
            m_process.waitForReadyRead(100);
        return m_process.readLine() == "ready\n";
    }
    ~Owner()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QProcess m_process;
};

QByteArray valueOf(const Clipboard::PasteboardSnapshot::Item& item, const QString& type)
{
    for (const auto& [itemType, bytes] : item) {
        if (itemType == type)
            return bytes;
    }
    return "<absent>";
}

} // namespace

class TestQtPasteboard : public QObject
{
    Q_OBJECT

private slots:
    void offeredTypes_data();
    void offeredTypes();
    void otherProgramGetsEveryTypeBack();
    void emptyClipboardComesBackEmpty();
    void silentOwnerMakesSnapshotIncomplete();
    void markdownReadByOtherProgram_data();
    void markdownReadByOtherProgram();
    void oneItemOnly();
    void htmlFromOtherProgram_data();
    void htmlFromOtherProgram();
};

void TestQtPasteboard::offeredTypes_data()
{
    QTest::addColumn<QStringList>("formats");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("pseudo-targets dropped") << QStringList {u"TARGETS"_qs, u"text/plain"_qs, u"MULTIPLE"_qs,
        u"TIMESTAMP"_qs, u"SAVE_TARGETS"_qs} << QStringList {u"text/plain"_qs};
    QTest::newRow("repeats and Qt's image alias dropped")
        << QStringList {u"text/plain"_qs, u"application/x-qt-image"_qs, u"image/png"_qs, u"text/plain"_qs, QString()}
        << QStringList {u"text/plain"_qs, u"image/png"_qs};
    QTest::newRow("order kept") << QStringList {u"text/html"_qs, customType, u"text/plain"_qs}
                                << QStringList {u"text/html"_qs, customType, u"text/plain"_qs};
}

void TestQtPasteboard::offeredTypes()
{
    QFETCH(QStringList, formats);
    QFETCH(QStringList, expected);
    QCOMPARE(QtPasteboard::offeredTypes(formats), expected);
}

void TestQtPasteboard::otherProgramGetsEveryTypeBack()
{
    QtPasteboard pasteboard;
    const Pasteboard::ItemData formats = {
        {u"text/plain"_qs, "plain caf\xc3\xa9\n"},
        {u"text/html"_qs, "<meta charset=\"utf-8\"><b>bold</b> caf\xc3\xa9"},
        {customType, QByteArray("\x00\x01 binary \xff\xfe", 12) + QByteArray(300000, 'c')},
    };
    const qint64 before = pasteboard.changeCount();
    Owner owner;
    QVERIFY(owner.start(formats));
    QTRY_VERIFY_WITH_TIMEOUT(pasteboard.changeCount() > before, 10000);

    const auto saved = onWorker([&] { return Clipboard::snapshot(pasteboard); });
    QVERIFY(saved && saved->complete);
    QCOMPARE(saved->items.size(), 1);
    for (const auto& [type, bytes] : formats)
        QCOMPARE(valueOf(saved->items.first(), type), bytes);

    // The capture's copy replaces the content...
    const qint64 beforeCopy = pasteboard.changeCount();
    QVERIFY(onWorker([&] {
        Clipboard::writePlain(u"what the copy left"_qs, pasteboard);
        return true;
    }));
    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>("what the copy left"));
    QVERIFY(pasteboard.changeCount() > beforeCopy);

    // ...and the restore gives every other program the owner's bytes again.
    QCOMPARE(onWorker([&] { return Clipboard::restore(*saved, pasteboard); }), std::optional<bool>(true));
    for (const auto& [type, bytes] : formats)
        QCOMPARE(readWithXclip(type), std::optional<QByteArray>(bytes));
    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>("plain caf\xc3\xa9\n"));
}

void TestQtPasteboard::emptyClipboardComesBackEmpty()
{
    QtPasteboard pasteboard;
    QVERIFY(pasteboard.clearContents());
    const auto saved = onWorker([&] { return Clipboard::snapshot(pasteboard); });
    QVERIFY(saved && saved->complete);
    QVERIFY(saved->items.isEmpty());

    Clipboard::writePlain(u"copied"_qs, pasteboard);
    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>("copied"));
    QCOMPARE(onWorker([&] { return Clipboard::restore(*saved, pasteboard); }), std::optional<bool>(true));
    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>());
}

void TestQtPasteboard::silentOwnerMakesSnapshotIncomplete()
{
    QtPasteboard pasteboard;
    Owner owner;
    QVERIFY(owner.start({{u"text/plain"_qs, "the user's text"}}, slowType));
    QTRY_VERIFY_WITH_TIMEOUT(pasteboard.types().contains(slowType), 10000);

    const auto saved = onWorker([&] { return Clipboard::snapshot(pasteboard, 1500ms); });
    QVERIFY(saved.has_value());
    QVERIFY(!saved->complete);

    // Refused before anything is cleared: the owner keeps the clipboard.
    const qint64 before = pasteboard.changeCount();
    QCOMPARE(onWorker([&] { return Clipboard::restore(*saved, pasteboard); }), std::optional<bool>(false));
    QCOMPARE(pasteboard.changeCount(), before);
    QCOMPARE(readWithXclip(u"text/plain"_qs), std::optional<QByteArray>("the user's text"));
}

void TestQtPasteboard::markdownReadByOtherProgram_data()
{
    QTest::addColumn<bool>("fromWorker");
    QTest::newRow("GUI thread") << false;
    QTest::newRow("worker thread") << true;
}

void TestQtPasteboard::markdownReadByOtherProgram()
{
    QFETCH(bool, fromWorker);
    QtPasteboard pasteboard;
    const QString markdown = u"# Title\n\nSome *em* and caf\u00e9"_qs;
    auto write = [&] {
        Clipboard::writeMarkdown(markdown, pasteboard);
        return true;
    };
    if (fromWorker)
        QVERIFY(onWorker(write));
    else
        write();

    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>(markdown.toUtf8()));
    QCOMPARE(readWithXclip(u"text/plain;charset=utf-8"_qs), std::optional<QByteArray>(markdown.toUtf8()));
    const auto html = readWithXclip(u"text/html"_qs);
    QVERIFY(html.has_value());
    QVERIFY(html->contains("<h1>Title</h1>"));
    QVERIFY(html->contains("<em>em</em>"));
    QCOMPARE(*html, Clipboard::htmlData(markdown).value_or("<none>"));
}

void TestQtPasteboard::oneItemOnly()
{
    QtPasteboard pasteboard;
    Clipboard::writePlain(u"kept"_qs, pasteboard);
    const Items two = {{{u"text/plain"_qs, "a"}}, {{u"text/plain"_qs, "b"}}};
    QVERIFY(!pasteboard.writeItems(two));
    QCOMPARE(readWithXclip(u"UTF8_STRING"_qs), std::optional<QByteArray>("kept"));
}

void TestQtPasteboard::htmlFromOtherProgram_data()
{
    QTest::addColumn<QByteArray>("html");
    const QString page
        = u"<html><head><title>Gr\u00fc\u00dfe &amp; more</title></head><body><p>Hallo</p></body></html>"_qs;
    QTest::newRow("UTF-8") << page.toUtf8();
    QStringEncoder bare(QStringConverter::Utf16LE);
    QTest::newRow("UTF-16 without mark") << QByteArray(bare.encode(page));
}

void TestQtPasteboard::htmlFromOtherProgram()
{
    QFETCH(QByteArray, html);
    QtPasteboard pasteboard;
    Owner owner;
    QVERIFY(owner.start({{u"text/html"_qs, html}}));
    QTRY_VERIFY_WITH_TIMEOUT(pasteboard.types().contains(u"text/html"_qs), 10000);
    const auto title = onWorker([&] { return Clipboard::htmlTitle(pasteboard); });
    QCOMPARE(title, std::optional<std::optional<QString>>(u"Gr\u00fc\u00dfe & more"_qs));
    const auto rich = onWorker([&] { return Clipboard::richAttributedString(pasteboard); });
    QVERIFY(rich && *rich);
    QCOMPARE((*rich)->text().trimmed(), u"Hallo"_qs);
}

int main(int argc, char* argv[])
{
    if (ClipboardOwner::isOwnerCall(argc, argv))
        return ClipboardOwner::run(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QApplication app(argc, argv);
    TestQtPasteboard test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_QtPasteboard.moc"
