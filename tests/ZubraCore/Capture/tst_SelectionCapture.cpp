// The capture algorithm against in-memory platform doubles and a manual clock.

#include "support/MemoryAccessibility.h"
#include "support/MemoryKeyInjector.h"
#include "Platform/Memory/MemoryPasteboard.h"
#include "Platform/Memory/MemoryWorkspace.h"
#include "support/RecordingSystemLog.h"
#include "support/SteppingClock.h"
#include "ZubraCore/Capture/LateCopyGuard.h"
#include "ZubraCore/Capture/SelectionCapture.h"
#include "ZubraCore/Support/Logging.h"
#include "support/TestMain.h"

#include <QTest>
#include <functional>

using ItemData = Pasteboard::ItemData;
using Items = QList<ItemData>;
Q_DECLARE_METATYPE(CaptureError::Code)

namespace {
const QString plainType = QStringLiteral("text/plain");
const QString passwordSentence = QStringLiteral("A password field was refused. Tessellon never captures passwords.");
const QString htmlType = QStringLiteral("text/html");

// Forwards to a memory pasteboard, counting reads and writes and letting a test act (as another
// program would) in the middle of a read.
class SpyPasteboard final : public Pasteboard
{
public:
    explicit SpyPasteboard(MemoryPasteboard& inner)
        : m_inner(inner)
    {
    }
    qint64 changeCount() override { return m_inner.changeCount(); }
    qint32 ownerProcess() override { return m_inner.ownerProcess(); }
    std::optional<QList<QStringList>> itemTypes(QDeadlineTimer deadline) override
    {
        ++reads;
        return m_inner.itemTypes(deadline);
    }
    Read itemData(qsizetype item, const QString& type, QDeadlineTimer deadline) override
    {
        ++reads;
        Read read = m_inner.itemData(item, type, deadline);
        if (afterRead) {
            auto action = std::exchange(afterRead, nullptr);
            action();
        }
        return read;
    }
    bool clearContents() override
    {
        ++writes;
        return m_inner.clearContents();
    }
    bool writeItems(const QList<ItemData>& items) override
    {
        ++writes;
        return m_inner.writeItems(items);
    }
    void declareTypes(const QStringList& types) override
    {
        ++writes;
        m_inner.declareTypes(types);
    }
    bool setData(const QByteArray& data, const QString& type) override
    {
        ++writes;
        return m_inner.setData(data, type);
    }

    int reads = 0;
    int writes = 0;
    std::function<void()> afterRead; // runs once, right after the next data read

private:
    MemoryPasteboard& m_inner;
};

// Answers browser scripts by what they ask for, recording each one.
class FakeScripts final : public ScriptRunner
{
public:
    Outcome run(const QString& script, std::chrono::milliseconds) override
    {
        QString answer;
        if (script.contains(QLatin1String("getSelection"))) {
            ran.append(QStringLiteral("selection"));
            answer = selection;
        } else if (script.contains(QLatin1String("URL of"))) {
            ran.append(QStringLiteral("url"));
            answer = url;
        } else {
            ran.append(QStringLiteral("title"));
            answer = title;
        }
        Outcome outcome;
        outcome.status = Status::finished;
        outcome.standardOutput = answer.toUtf8();
        return outcome;
    }
    QString url, title, selection;
    QStringList ran;
};

struct Rig
{
    MemoryAccessibility accessibility;
    MemoryWorkspace workspace;
    MemoryKeyInjector keys;
    MemoryPasteboard memory {Items {{{plainType, QByteArrayLiteral("original")}}}};
    SpyPasteboard pasteboard {memory};
    FakeScripts scripts;
    SteppingClock clock;
    QList<std::shared_ptr<MemoryAccessibleElement>> chain;
    LateCopyGuard* lateCopies = nullptr;

    Rig(const QString& bundleID = QStringLiteral("org.example.Editor"))
    {
        workspace.frontmost = RunningApplication {4242, QStringLiteral("Editor"), bundleID};
        chain = accessibility.addApplication(4242, 1);
    }
    std::shared_ptr<MemoryAccessibleElement> focused() { return chain.first(); }
    // The frontmost application answers the copy chord number `chord` by writing these items.
    void copyOn(int chord, const Items& items)
    {
        keys.onChord = [this, chord, items](int n) {
            if (n == chord)
                memory.replaceContent(items);
        };
    }
    CaptureOutcome run()
    {
        SelectionCapture capture({accessibility, workspace, keys, pasteboard, scripts, clock, lateCopies});
        return capture.capture();
    }
};

const CaptureResult* resultOf(const CaptureOutcome& outcome)
{
    return std::get_if<CaptureResult>(&outcome);
}
const CaptureError* errorOf(const CaptureOutcome& outcome)
{
    return std::get_if<CaptureError>(&outcome);
}

// What the program in front has of a tree: one that tells its fields, none at all, or only the
// PRIMARY selection standing in for a focused element.
enum class Tree { shown, none, standIn };
} // namespace

Q_DECLARE_METATYPE(Tree)

class TestSelectionCapture : public QObject
{
    Q_OBJECT
    RecordingSystemLog m_log;

private slots:
    void init()
    {
        m_log.clear();
        Loggers::setSystemLog(&m_log);
    }
    void cleanup() { Loggers::setSystemLog(nullptr); }

    void withoutTrustNothingIsTouched()
    {
        Rig rig;
        rig.accessibility.trusted = false;
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::notTrusted);
        QCOMPARE(rig.pasteboard.reads, 0);
        QCOMPARE(rig.pasteboard.writes, 0);
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.workspace.calls, 0);
        const auto entries = m_log.entries();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0].category, QStringLiteral("capture"));
        QCOMPARE(entries[0].level, SystemLogLevel::error);
        QCOMPARE(entries[0].publicPart, QStringLiteral("Not trusted for accessibility"));
    }

    void withoutFrontmostApplicationNothingIsCopied()
    {
        Rig rig;
        rig.workspace.frontmost.reset();
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::noFrontmostApp);
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.pasteboard.writes, 0);
        QVERIFY(m_log.messages(QStringLiteral("capture")).contains(QStringLiteral("No frontmost application")));
    }

    void chooseText_data()
    {
        QTest::addColumn<int>("copyOnChord"); // 0: the application never copies
        QTest::addColumn<Items>("copied");
        QTest::addColumn<QString>("axText"); // empty: the tree has none
        QTest::addColumn<QString>("expectedText");
        QTest::addColumn<int>("expectedChords");

        const Items word {{{plainType, QByteArrayLiteral("  hello \n")}}};
        QTest::newRow("first keystroke") << 1 << word << QString() << "hello" << 1;
        QTest::newRow("second keystroke") << 2 << word << QString() << "hello" << 2;
        QTest::newRow("copy beats the tree") << 1 << word << "from tree"
                                             << "hello" << 1;
        QTest::newRow("no copy: the tree") << 0 << Items {} << "  from tree\n"
                                           << "from tree" << 2;
        QTest::newRow("only spaces") << 1 << Items {{{plainType, QByteArrayLiteral("   ")}}} << QString() << "" << 1;
        QTest::newRow("tree text of spaces") << 0 << Items {} << "  "
                                             << "" << 2;
        QTest::newRow("empty copy: the tree") << 1 << Items {{{plainType, QByteArray("")}}} << "tree"
                                              << "tree" << 1;
        QTest::newRow("tabular text") << 1
                                      << Items {{{QStringLiteral("text/tab-separated-values"),
                                             QByteArrayLiteral("a\tb")}}}
                                      << QString() << "a\tb" << 1;
    }
    void chooseText()
    {
        QFETCH(int, copyOnChord);
        QFETCH(Items, copied);
        QFETCH(QString, axText);
        QFETCH(QString, expectedText);
        QFETCH(int, expectedChords);

        Rig rig;
        if (copyOnChord)
            rig.copyOn(copyOnChord, copied);
        if (!axText.isEmpty())
            rig.focused()->setText(AccessibleAttribute::SelectedText, axText);
        const CaptureOutcome outcome = rig.run();
        QVERIFY2(resultOf(outcome), errorOf(outcome) ? qPrintable(errorOf(outcome)->diagnostic()) : "");
        QCOMPARE(resultOf(outcome)->text, expectedText);
        QCOMPARE(resultOf(outcome)->appName, QStringLiteral("Editor"));
        QCOMPARE(resultOf(outcome)->bundleID, QStringLiteral("org.example.Editor"));
        QCOMPARE(rig.keys.completedChords, expectedChords);
        QCOMPARE(rig.keys.events.size(), 2 * expectedChords);
        for (qsizetype i = 0; i < rig.keys.events.size(); i += 2) {
            QCOMPARE(rig.keys.events[i], QStringLiteral("press Copy"));
            QCOMPARE(rig.keys.events[i + 1], QStringLiteral("release Copy"));
        }
        // Whatever happened, the clipboard ends as it began.
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
        QCOMPARE(m_log.messages(QStringLiteral("capture")).value(0), QStringLiteral("Capturing from Editor (4242)"));
        QCOMPARE(m_log.entries().value(0).level, SystemLogLevel::debug);
        if (!copyOnChord) {
            QCOMPARE(rig.pasteboard.writes, 0);
            QVERIFY(!resultOf(outcome)->markdown);
        }
    }

    void unnamedApplicationIsUnknownApp()
    {
        Rig rig;
        rig.workspace.frontmost = RunningApplication {77, std::nullopt, std::nullopt};
        rig.accessibility.addApplication(77, 1).first()->setText(
            AccessibleAttribute::SelectedText, QStringLiteral("x"));
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->appName, QStringLiteral("Unknown App"));
        QVERIFY(!resultOf(outcome)->bundleID);
        QVERIFY(rig.scripts.ran.isEmpty()); // an empty identifier matches no browser
    }

    void hostileNamesAreCutBeforeStoringOrLogging_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::newRow("captured") << true;
        QTest::newRow("nothing selected: logged only") << false;
    }

    void hostileNamesAreCutBeforeStoringOrLogging()
    {
        QFETCH(bool, selected);
        Rig rig;
        const QString huge(250'000, u'N');
        rig.workspace.frontmost = RunningApplication {4242, huge, QString(250'000, u'i')};
        if (selected)
            rig.focused()->setText(AccessibleAttribute::SelectedText, QStringLiteral("x"));
        const CaptureOutcome outcome = rig.run();
        if (selected) {
            QVERIFY(resultOf(outcome));
            QCOMPARE(resultOf(outcome)->appName, huge.left(RunningApplication::maxNameLength));
            QCOMPARE(resultOf(outcome)->bundleID->size(), RunningApplication::maxNameLength);
        } else {
            QVERIFY(errorOf(outcome));
        }
        QVERIFY(!m_log.entries().isEmpty());
        for (const SystemLogEntry& entry : m_log.entries())
            QVERIFY2(entry.publicPart.size() + entry.privatePart.size() < 4 * RunningApplication::maxNameLength,
                qPrintable(entry.publicPart.left(80)));
    }

    void twoPassesWithoutChangeThenNoThirdKeystroke()
    {
        Rig rig;
        const auto start = rig.clock.now();
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::noSelection);
        QCOMPARE(rig.keys.completedChords, 2);
        // Two holds of 0.03 s and two passes of 0.8 s, polled every 0.04 s.
        const auto waited = rig.clock.now() - start;
        // (Rounding may add one poll to a pass.)
        const auto expected = 2 * SelectionCapture::keyHold + 2 * SelectionCapture::pollingPass;
        QVERIFY2(waited >= expected && waited <= expected + 2 * SelectionCapture::pollInterval,
            qPrintable(QString::number(std::chrono::duration<double>(waited).count())));
        QCOMPARE(rig.clock.sleeps.count(SelectionCapture::keyHold), 2);
        QVERIFY(rig.clock.sleeps.count(SelectionCapture::pollInterval) >= 40);
        QVERIFY(rig.clock.sleeps.count(SelectionCapture::pollInterval) <= 42);
        QCOMPARE(errorOf(outcome)->diagnostic(),
            QStringLiteral("app=Editor, pid=4242, pasteboardChanged=false, postCopyTextLength=-1, "
                           "axSelectedText=no, pasteboardTypes=[text/plain]"));
        QCOMPARE(rig.pasteboard.writes, 0);
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture failed in Editor: ") + errorOf(outcome)->diagnostic()));
    }

    // The application copies only after the capture gave up: the user's clipboard comes back.
    // A capture whose copy landed in time leaves nothing to watch.
    void lateCopyIsUndone()
    {
        Rig rig;
        LateCopyGuard guard(rig.pasteboard, rig.clock);
        rig.lateCopies = &guard;
        QVERIFY(errorOf(rig.run()));
        QVERIFY(guard.isWatching());
        rig.memory.owner = 4242;
        rig.memory.replaceContent({{{plainType, QByteArrayLiteral("late")}}});
        guard.poll();
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));

        rig.copyOn(rig.keys.completedChords + 1, {{{plainType, QByteArrayLiteral("in time")}}});
        QVERIFY(resultOf(rig.run()));
        QVERIFY(!guard.isWatching());
    }

    void imageOnlyCopyFailsWithItsTypeLogged()
    {
        Rig rig;
        rig.copyOn(1,
            {{{QStringLiteral("image/png"), QByteArrayLiteral("\x89PNG")},
                {QStringLiteral("application/x-qt-image"), QByteArrayLiteral("x")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::noSelection);
        const QString expected = QStringLiteral("app=Editor, pid=4242, pasteboardChanged=true, postCopyTextLength=-1, "
                                                "axSelectedText=no, pasteboardTypes=[image/png, other]");
        QCOMPARE(errorOf(outcome)->diagnostic(), expected);
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture: pasteboard changed but nothing readable on it: ") + expected));
        QVERIFY(rig.clock.sleeps.contains(SelectionCapture::rereadDelay));
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
    }

    void plainAndHtmlGiveMarkdownAndTitle()
    {
        Rig rig(QStringLiteral("com.google.Chrome"));
        rig.scripts.url = QStringLiteral("https://example.org/a");
        rig.scripts.title = QStringLiteral("Script title");
        rig.copyOn(1,
            {{{plainType, QByteArrayLiteral("Hello world")},
                {htmlType,
                    QByteArrayLiteral("<html><head><TITLE lang=en>My \n  Page</Title></head>"
                                      "<body><p><b>Hello</b> world</p></body></html>")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("Hello world"));
        QVERIFY(resultOf(outcome)->markdown);
        QVERIFY2(resultOf(outcome)->markdown->contains(QLatin1String("**Hello**")),
            qPrintable(*resultOf(outcome)->markdown));
        QCOMPARE(resultOf(outcome)->sourceTitle, QStringLiteral("My Page"));
        QCOMPARE(resultOf(outcome)->sourceURL, QStringLiteral("https://example.org/a"));
        QCOMPARE(rig.scripts.ran, QStringList {QStringLiteral("url")}); // no title script
        QVERIFY(m_log.messages(QStringLiteral("capture")).contains(QStringLiteral("Converted rich text to markdown")));
    }

    void chromiumPdfRule_data()
    {
        QTest::addColumn<QString>("bundleID");
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("fromTree");
        QTest::addColumn<CaptureError::Code>("expected");
        QTest::newRow("Chrome, PDF in capitals")
            << "com.google.Chrome"
            << "https://x.org/doc/Report.PDF" << false << CaptureError::Code::chromePDF;
        QTest::newRow("Brave, address from the tree") << "com.brave.Browser"
                                                      << "https://x.org/r.pdf" << true << CaptureError::Code::chromePDF;
        QTest::newRow("Safari, PDF") << "com.apple.Safari"
                                     << "https://x.org/doc/report.pdf" << false << CaptureError::Code::noSelection;
        QTest::newRow("Chrome, a page") << "com.google.Chrome"
                                        << "https://x.org/report.pdf.html" << false << CaptureError::Code::noSelection;
        QTest::newRow("Chrome, pdf in the query only")
            << "com.google.Chrome"
            << "https://x.org/view?f=a.pdf" << false << CaptureError::Code::noSelection;
    }
    void chromiumPdfRule()
    {
        QFETCH(QString, bundleID);
        QFETCH(QString, url);
        QFETCH(bool, fromTree);
        QFETCH(CaptureError::Code, expected);
        Rig rig(bundleID);
        if (fromTree)
            rig.focused()->setText(AccessibleAttribute::URL, url);
        else
            rig.scripts.url = url;
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), expected);
    }

    void pdfRuleNeverHidesAChangedClipboard()
    {
        Rig rig(QStringLiteral("com.google.Chrome"));
        rig.scripts.url = QStringLiteral("https://x.org/r.pdf");
        rig.copyOn(1, {{{QStringLiteral("image/png"), QByteArrayLiteral("png")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::noSelection);
    }

    void browserSelectionStandsInLast()
    {
        Rig rig(QStringLiteral("com.google.Chrome"));
        rig.scripts.selection = QStringLiteral("  picked words \n");
        rig.scripts.title = QStringLiteral("Tab");
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("picked words"));
        QVERIFY(!resultOf(outcome)->markdown);
        QCOMPARE(resultOf(outcome)->sourceTitle, QStringLiteral("Tab"));
        QCOMPARE(rig.scripts.ran, (QStringList {"url", "title", "selection"}));
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture: using browser JS selection fallback for Editor")));
    }

    void restoreFailureRefusesTheCapture()
    {
        Rig rig;
        rig.memory.replaceContent({{{plainType, QByteArrayLiteral("mine")}}});
        rig.memory.offerWithoutData(1, QStringLiteral("application/x-unreadable")); // an item with no readable data
        const Items copied {{{plainType, QByteArrayLiteral("copied text")}}};
        rig.copyOn(1, copied);
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::clipboardRestoreFailed);
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture: clipboard restore failed; capture was not saved")));
        // The copy is left in place rather than an empty clipboard.
        QCOMPARE(rig.memory.items(), copied);
    }

    void restoreBringsBackEveryItemAndType()
    {
        Rig rig;
        const Items original {{{plainType, QByteArrayLiteral("one")}, {htmlType, QByteArrayLiteral("<b>one</b>")},
                                  {QStringLiteral("application/x-custom"), QByteArray("\0\x01\xff", 3)}},
            {{QStringLiteral("image/png"), QByteArrayLiteral("png-bytes")}}};
        rig.memory.replaceContent(original);
        rig.copyOn(2, {{{plainType, QByteArrayLiteral("copied")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("copied"));
        QCOMPARE(rig.memory.items(), original);
    }

    // Another program writes the clipboard while the snapshot is being read: the restore must
    // bring back that newer content, not the older one.
    void writeDuringSnapshotIsNotOverwritten()
    {
        Rig rig;
        const Items newer {{{plainType, QByteArrayLiteral("written meanwhile")}}};
        rig.pasteboard.afterRead = [&] { rig.memory.replaceContent(newer); };
        rig.copyOn(1, {{{plainType, QByteArrayLiteral("copied")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("copied"));
        QCOMPARE(rig.memory.items(), newer);
    }

    // A write during the snapshot must not count as the copy's change either.
    void writeDuringSnapshotIsNotTakenForTheCopy()
    {
        Rig rig;
        rig.pasteboard.afterRead = [&] { rig.memory.replaceContent({{{plainType, QByteArrayLiteral("other")}}}); };
        rig.focused()->setText(AccessibleAttribute::SelectedText, QStringLiteral("from tree"));
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("from tree"));
        QCOMPARE(rig.pasteboard.writes, 0);
    }

    void walkReadsTwelveElements_data()
    {
        QTest::addColumn<int>("holder"); // 1-based position of the element holding the values
        QTest::addColumn<bool>("found");
        QTest::newRow("focused element") << 1 << true;
        QTest::newRow("twelfth") << 12 << true;
        QTest::newRow("thirteenth") << 13 << false;
    }
    void walkReadsTwelveElements()
    {
        QFETCH(int, holder);
        QFETCH(bool, found);
        MemoryAccessibility accessibility;
        const auto chain = accessibility.addApplication(7, 16);
        chain[holder - 1]->setText(AccessibleAttribute::SelectedText, QStringLiteral("deep"));
        chain[holder - 1]->setText(AccessibleAttribute::Document, QStringLiteral("file:///tmp/a%20b.txt"));
        chain[holder - 1]->setText(AccessibleAttribute::URL, QStringLiteral("https://example.org/x"));
        Rig rig;
        SelectionCapture capture({accessibility, rig.workspace, rig.keys, rig.pasteboard, rig.scripts, rig.clock});
        const auto ax = capture.extractAX(7);
        QCOMPARE(ax.selectedText.has_value(), found);
        QCOMPARE(ax.filePath.has_value(), found);
        QCOMPARE(ax.sourceURL.has_value(), found);
        if (found) {
            QCOMPARE(*ax.filePath, QStringLiteral("file:///tmp/a%20b.txt"));
            QCOMPARE(*ax.sourceURL, QStringLiteral("https://example.org/x"));
            // Once all three are found the walk stops.
            QCOMPARE(chain[holder]->reads(), 0);
        } else {
            QCOMPARE(chain[12]->reads(), 0);
        }
    }

    void walkKeepsTheFirstValueAndSkipsOtherKinds()
    {
        MemoryAccessibility accessibility;
        const auto chain = accessibility.addApplication(7, 4);
        chain[0]->set(AccessibleAttribute::URL, AccessibleValue::other()); // an address object, not text
        chain[0]->setText(AccessibleAttribute::SelectedText, QString()); // empty counts as none
        chain[1]->set(AccessibleAttribute::SelectedText, AccessibleValue::failed());
        chain[1]->set(AccessibleAttribute::URL, AccessibleValue::failed());
        chain[2]->setText(AccessibleAttribute::SelectedText, QStringLiteral("second"));
        chain[2]->setText(AccessibleAttribute::URL, QStringLiteral("https://good.example/"));
        chain[3]->setText(AccessibleAttribute::SelectedText, QStringLiteral("ignored"));
        Rig rig;
        SelectionCapture capture({accessibility, rig.workspace, rig.keys, rig.pasteboard, rig.scripts, rig.clock});
        const auto ax = capture.extractAX(7);
        QCOMPARE(ax.selectedText, QStringLiteral("second"));
        QCOMPARE(ax.sourceURL, QStringLiteral("https://good.example/"));
        QVERIFY(!ax.filePath);
        QCOMPARE(capture.extractAX(8).selectedText, std::nullopt); // no such application
    }

    // The first address string found settles the address, parsed or not; an unparsable one
    // leaves it absent (the browser is asked instead) and counts as found for ending the walk.
    void unparsableTreeAddressIsAbsent_data()
    {
        QTest::addColumn<bool>("focusedHasAll"); // the focused element also holds text and document
        QTest::addColumn<QString>("scriptURL");
        QTest::addColumn<QString>("expectedURL"); // empty: none
        QTest::newRow("ancestor's address not used") << false << QString() << QString();
        QTest::newRow("walk ends at the focused element") << true << QString() << QString();
        QTest::newRow("browser gives the address") << false << "https://script.example/p"
                                                   << "https://script.example/p";
    }
    void unparsableTreeAddressIsAbsent()
    {
        QFETCH(bool, focusedHasAll);
        QFETCH(QString, scriptURL);
        QFETCH(QString, expectedURL);
        Rig rig(QStringLiteral("com.google.Chrome"));
        rig.chain = rig.accessibility.addApplication(4242, 3);
        rig.scripts.url = scriptURL;
        rig.chain[0]->setText(AccessibleAttribute::SelectedText, QStringLiteral("chosen"));
        rig.chain[0]->setText(AccessibleAttribute::URL, QStringLiteral("http://bad host/"));
        if (focusedHasAll)
            rig.chain[0]->setText(AccessibleAttribute::Document, QStringLiteral("file:///tmp/a.txt"));
        rig.chain[1]->setText(AccessibleAttribute::URL, QStringLiteral("https://tree.example/"));
        rig.chain[2]->setText(AccessibleAttribute::Document, QStringLiteral("file:///tmp/b.txt"));

        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("chosen"));
        QCOMPARE(
            resultOf(outcome)->sourceURL, expectedURL.isEmpty() ? std::nullopt : std::optional<QString>(expectedURL));
        QVERIFY(rig.scripts.ran.contains(QStringLiteral("url")));
        if (focusedHasAll) {
            QCOMPARE(rig.chain[1]->reads(), 0);
            QCOMPARE(resultOf(outcome)->filePath, QStringLiteral("file:///tmp/a.txt"));
        } else {
            QCOMPARE(resultOf(outcome)->filePath, QStringLiteral("file:///tmp/b.txt"));
        }
    }

    // The tree's document address wins; without one, the file the window shows stands in.
    void windowDocumentStandsInForTheTree_data()
    {
        QTest::addColumn<QString>("treeDocument"); // empty: none
        QTest::addColumn<QString>("windowDocument");
        QTest::addColumn<QString>("filePath");
        QTest::newRow("tree only") << "file:///tmp/a.txt" << QString() << "file:///tmp/a.txt";
        QTest::newRow("tree first") << "file:///tmp/a.txt" << "/home/u/b.txt" << "file:///tmp/a.txt";
        QTest::newRow("window only") << QString() << "/home/u/b.txt" << "/home/u/b.txt";
        QTest::newRow("neither") << QString() << QString() << QString();
    }
    void windowDocumentStandsInForTheTree()
    {
        QFETCH(QString, treeDocument);
        QFETCH(QString, windowDocument);
        QFETCH(QString, filePath);
        Rig rig;
        rig.copyOn(1, Items {{{plainType, QByteArrayLiteral("copied")}}});
        if (!treeDocument.isEmpty())
            rig.focused()->setText(AccessibleAttribute::Document, treeDocument);
        if (!windowDocument.isEmpty())
            rig.workspace.windowDocument = windowDocument;
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->filePath.value_or(QString()), filePath);
    }

    // An application that takes the clipboard when asked for its selection (AbiWord does, for
    // PRIMARY): the user's clipboard is saved before, and given back whether or not the copy
    // then changes anything.
    void clipboardTakenDuringTheWalkIsGivenBack_data()
    {
        QTest::addColumn<bool>("applicationCopies");
        QTest::addColumn<QString>("text");
        QTest::newRow("the copy follows") << true << "copied";
        QTest::newRow("no copy") << false << "from the tree";
    }
    void clipboardTakenDuringTheWalkIsGivenBack()
    {
        QFETCH(bool, applicationCopies);
        QFETCH(QString, text);
        Rig rig;
        const Items original = rig.memory.items();
        rig.focused()->setText(AccessibleAttribute::SelectedText, QStringLiteral("from the tree"));
        rig.focused()->onRead = [&](AccessibleAttribute attribute) {
            if (attribute == AccessibleAttribute::SelectedText)
                rig.memory.replaceContent({{{QStringLiteral("text/rtf"), QByteArray()}}});
        };
        if (applicationCopies)
            rig.copyOn(1, Items {{{plainType, QByteArrayLiteral("copied")}}});
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, text);
        QCOMPARE(rig.memory.items(), original);
    }

    // A clipboard that cannot be saved is never replaced by a copy: the tree's text serves, else
    // the capture says whether the owner was silent or the content too large.
    void unsavableClipboardGetsNoCopy_data()
    {
        QTest::addColumn<bool>("silent"); // else no item list: over the size caps
        QTest::addColumn<bool>("treeText");
        QTest::addColumn<int>("code"); // -1: a result
        QTest::newRow("silent owner, tree text") << true << true << -1;
        QTest::newRow("silent owner") << true << false << int(CaptureError::Code::clipboardOwnerSilent);
        QTest::newRow("too large") << false << false << int(CaptureError::Code::clipboardTooLarge);
    }
    void unsavableClipboardGetsNoCopy()
    {
        QFETCH(bool, silent);
        QFETCH(bool, treeText);
        QFETCH(int, code);
        Rig rig;
        const Items original = rig.memory.items();
        if (silent)
            rig.memory.neverAnswer(plainType);
        else
            rig.memory.reportNoItemList(true);
        if (treeText)
            rig.focused()->setText(AccessibleAttribute::SelectedText, QStringLiteral("from the tree"));
        rig.copyOn(1, Items {{{plainType, QByteArrayLiteral("copied")}}});
        const CaptureOutcome outcome = rig.run();
        if (code < 0) {
            QVERIFY(resultOf(outcome));
            QCOMPARE(resultOf(outcome)->text, QStringLiteral("from the tree"));
        } else {
            QVERIFY(errorOf(outcome));
            QCOMPARE(int(errorOf(outcome)->code()), code);
        }
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.pasteboard.writes, 0);
        rig.memory.reportNoItemList(false);
        QCOMPARE(rig.memory.items(), original);
    }

    void pollingWithAPastDeadlineDoesNotWait()
    {
        Rig rig;
        SelectionCapture capture({rig.accessibility, rig.workspace, rig.keys, rig.pasteboard, rig.scripts, rig.clock});
        QVERIFY(!capture.waitForPasteboardChange(rig.memory.changeCount() + 1, rig.clock.now()));
        QVERIFY(rig.clock.sleeps.isEmpty());
        QVERIFY(capture.waitForPasteboardChange(rig.memory.changeCount() + 1, rig.clock.now() + std::chrono::seconds(1)));
    }

    // A password field in focus: no channel may give its text, and nothing is sent or written.
    void passwordFieldIsRefusedThroughEveryChannel_data()
    {
        QTest::addColumn<bool>("treeText");
        QTest::addColumn<bool>("applicationCopies");
        QTest::addColumn<bool>("copyCommand");
        QTest::newRow("the tree holds the masked text") << true << false << true;
        QTest::newRow("the application would copy it") << false << true << true;
        QTest::newRow("a terminal without copy keystroke") << true << false << false;
    }
    void passwordFieldIsRefusedThroughEveryChannel()
    {
        QFETCH(bool, treeText);
        QFETCH(bool, applicationCopies);
        QFETCH(bool, copyCommand);
        Rig rig;
        rig.focused()->set(AccessibleAttribute::Protected, AccessibleValue::ofFlag(true));
        if (treeText)
            rig.focused()->setText(AccessibleAttribute::SelectedText, QStringLiteral("hunter2secret"));
        if (applicationCopies)
            rig.copyOn(1, {{{plainType, QByteArrayLiteral("hunter2secret")}}});
        rig.keys.copyCommand = copyCommand;
        const CaptureOutcome outcome = rig.run();
        QVERIFY(errorOf(outcome));
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::passwordRefused);
        QCOMPARE(errorOf(outcome)->errorDescription(), passwordSentence);
        QVERIFY(!errorOf(outcome)->diagnostic().contains(QLatin1String("hunter2")));
        QVERIFY(rig.keys.events.isEmpty());
        QCOMPARE(rig.pasteboard.writes, 0);
        QCOMPARE(rig.pasteboard.reads, 0);
        QVERIFY(rig.clock.sleeps.isEmpty());
        QVERIFY(rig.scripts.ran.isEmpty());
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture refused in Editor: the focused field holds a password")));
    }

    // What a password field shows in place of its text (a Tk entry copies it; Swing and
    // WebKitGTK put it on PRIMARY) is refused as a password from every channel, and nothing of it,
    // not even its length, reaches the log. Masks of three or fewer, and mixed text, are text. A
    // program without a tree (no element, or PRIMARY standing in for one) may mask with any
    // symbol or punctuation character; letters and digits stay text.
    void passwordMaskIsRefused_data()
    {
        QTest::addColumn<QString>("channel"); // copy, tree, terminal or script
        QTest::addColumn<Tree>("tree");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("refused");
        const QString tk = QStringLiteral("**************");
        const QString bullets
            = QStringLiteral("\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022\u2022");
        const QString hashes = QStringLiteral("#############");
        QTest::newRow("asterisks copied") << "copy" << Tree::shown << tk << true;
        QTest::newRow("bullets copied") << "copy" << Tree::shown << bullets << true;
        QTest::newRow("black circles in the tree")
            << "tree" << Tree::shown << QStringLiteral("\u25CF\u25CF\u25CF\u25CF\u25CF") << true;
        QTest::newRow("asterisk operators in a terminal")
            << "terminal" << Tree::shown << QStringLiteral(" \u2217\u2217\u2217\u2217\n") << true;
        QTest::newRow("bullets from the page's script") << "script" << Tree::shown << bullets << true;
        QTest::newRow("four asterisks") << "copy" << Tree::shown << QStringLiteral("****") << true;
        QTest::newRow("three asterisks") << "copy" << Tree::shown << QStringLiteral("***") << false;
        QTest::newRow("asterisks around a word") << "copy" << Tree::shown << QStringLiteral("**bold**") << false;
        QTest::newRow("two mask characters") << "copy" << Tree::shown << QStringLiteral("**\u2022\u2022**") << false;
        QTest::newRow("spaced bullets") << "tree" << Tree::shown << QStringLiteral("\u2022 \u2022 \u2022 \u2022")
                                        << false;
        QTest::newRow("a rule of dashes") << "copy" << Tree::shown << QStringLiteral("--------") << false;
        QTest::newRow("hashes where a tree tells the field") << "copy" << Tree::shown << hashes << false;
        QTest::newRow("hashes copied without a tree") << "copy" << Tree::none << hashes << true;
        QTest::newRow("four hashes without a tree") << "copy" << Tree::none << QStringLiteral("####") << true;
        QTest::newRow("three hashes without a tree") << "copy" << Tree::none << QStringLiteral("###") << false;
        QTest::newRow("dashes without a tree") << "copy" << Tree::none << QStringLiteral("--------") << true;
        QTest::newRow("dollar signs without a tree") << "copy" << Tree::none << QStringLiteral("$$$$$") << true;
        QTest::newRow("a symbol beyond 16 bits without a tree")
            << "copy" << Tree::none << QStringLiteral("\U0001F512\U0001F512\U0001F512\U0001F512") << true;
        QTest::newRow("two symbols beyond 16 bits")
            << "copy" << Tree::none << QStringLiteral("\U0001F512\U0001F512") << false;
        QTest::newRow("hashes in PRIMARY standing in") << "terminal" << Tree::standIn << hashes << true;
        QTest::newRow("letters without a tree") << "copy" << Tree::none << QStringLiteral("xxxxxxxx") << false;
        QTest::newRow("digits without a tree") << "copy" << Tree::none << QStringLiteral("00000000") << false;
        QTest::newRow("hashes with a word without a tree") << "copy" << Tree::none << QStringLiteral("#### x") << false;
        QTest::newRow("spaced hashes without a tree") << "copy" << Tree::none << QStringLiteral("## ##") << false;
    }
    void passwordMaskIsRefused()
    {
        QFETCH(QString, channel);
        QFETCH(Tree, tree);
        QFETCH(QString, text);
        QFETCH(bool, refused);
        Rig rig(channel == QLatin1String("script") ? QStringLiteral("com.google.Chrome")
                                                   : QStringLiteral("org.example.Editor"));
        if (tree == Tree::none)
            rig.accessibility = MemoryAccessibility();
        else if (tree == Tree::standIn)
            rig.focused()->set(AccessibleAttribute::StandIn, AccessibleValue::ofFlag(true));
        if (channel == QLatin1String("copy"))
            rig.copyOn(1, {{{plainType, text.toUtf8()}}});
        else if (channel == QLatin1String("script"))
            rig.scripts.selection = text;
        else
            rig.focused()->setText(AccessibleAttribute::SelectedText, text);
        rig.keys.copyCommand = channel != QLatin1String("terminal");
        const CaptureOutcome outcome = rig.run();
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
        if (!refused) {
            QVERIFY(resultOf(outcome));
            QCOMPARE(resultOf(outcome)->text, text.trimmed());
            return;
        }
        QVERIFY2(!resultOf(outcome), "a password field's mask was captured");
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::passwordRefused);
        QCOMPARE(errorOf(outcome)->errorDescription(), passwordSentence);
        QVERIFY2(errorOf(outcome)->diagnostic().endsWith(QLatin1String(", protected=yes")),
            qPrintable(errorOf(outcome)->diagnostic()));
        QVERIFY(errorOf(outcome)->diagnostic().contains(QLatin1String("postCopyTextLength=-1")));
        QVERIFY(!errorOf(outcome)->diagnostic().contains(text.trimmed().left(SelectionCapture::maskRepeats)));
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture refused in Editor: the selection is a password field's mask")));
        for (const SystemLogEntry& entry : m_log.entries())
            QVERIFY(
                !(entry.publicPart + entry.privatePart).contains(text.trimmed().left(SelectionCapture::maskRepeats)));
    }

    // A copy a password manager marked as a password (KeePassXC copies an entry's password on
    // Control+C): refused before its text is read, the user's clipboard put back. An empty mark
    // marks nothing; a mark whose owner does not answer counts as one.
    void markedPasswordIsRefused_data()
    {
        QTest::addColumn<QByteArray>("hint"); // the mark's value; null: no mark
        QTest::addColumn<bool>("silent"); // the owner never answers the mark
        QTest::addColumn<bool>("refused");
        QTest::newRow("KeePassXC's secret") << QByteArrayLiteral("secret") << false << true;
        QTest::newRow("another value") << QByteArrayLiteral("1") << false << true;
        QTest::newRow("an unanswered mark") << QByteArrayLiteral("secret") << true << true;
        QTest::newRow("an empty mark") << QByteArray("") << false << false;
        QTest::newRow("no mark") << QByteArray() << false << false;
    }
    void markedPasswordIsRefused()
    {
        QFETCH(QByteArray, hint);
        QFETCH(bool, silent);
        QFETCH(bool, refused);
        Rig rig;
        ItemData copied {{plainType, QByteArrayLiteral("hunter2secret")}};
        if (!hint.isNull())
            copied.append({PasteboardType::passwordManagerHint, hint});
        rig.copyOn(1, {copied});
        if (silent)
            rig.memory.neverAnswer(PasteboardType::passwordManagerHint);
        const CaptureOutcome outcome = rig.run();
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
        if (!refused) {
            QVERIFY(resultOf(outcome));
            QCOMPARE(resultOf(outcome)->text, QStringLiteral("hunter2secret"));
            return;
        }
        QVERIFY2(!resultOf(outcome), "a marked password was captured");
        QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::passwordRefused);
        QCOMPARE(errorOf(outcome)->errorDescription(), passwordSentence);
        QVERIFY(errorOf(outcome)->diagnostic().contains(QLatin1String("postCopyTextLength=-1")));
        // Only the snapshot before the copy read the clipboard's text: the copy's was never asked for.
        QCOMPARE(rig.memory.dataReads().count(plainType), 1);
        QVERIFY(m_log.messages(QStringLiteral("app"))
                    .contains(QStringLiteral("Capture refused in Editor: the copy is marked as a password")));
        for (const SystemLogEntry& entry : m_log.entries())
            QVERIFY(!(entry.publicPart + entry.privatePart).contains(QLatin1String("hunter2")));
    }

    // A terminal where selecting is copying: its selection is read at once, no key reaches it,
    // the clipboard is left alone and nothing waits.
    void terminalWithoutCopyKeystrokeGetsNoKey_data()
    {
        QTest::addColumn<QString>("selection"); // empty: nothing selected
        QTest::addColumn<QString>("expected"); // empty: the capture fails
        QTest::newRow("selected word") << "  tessellate\n"
                                       << "tessellate";
        QTest::newRow("nothing selected") << QString() << QString();
    }
    void terminalWithoutCopyKeystrokeGetsNoKey()
    {
        QFETCH(QString, selection);
        QFETCH(QString, expected);
        Rig rig(QStringLiteral("debian-xterm"));
        rig.keys.copyCommand = false;
        rig.copyOn(1, {{{plainType, QByteArrayLiteral("must not be read")}}});
        if (!selection.isEmpty())
            rig.focused()->setText(AccessibleAttribute::SelectedText, selection);
        const CaptureOutcome outcome = rig.run();
        if (expected.isEmpty()) {
            QVERIFY(errorOf(outcome));
            QCOMPARE(errorOf(outcome)->code(), CaptureError::Code::noSelection);
        } else {
            QVERIFY(resultOf(outcome));
            QCOMPARE(resultOf(outcome)->text, expected);
            QVERIFY(!resultOf(outcome)->markdown);
        }
        QVERIFY(rig.keys.events.isEmpty());
        QVERIFY(rig.clock.sleeps.isEmpty());
        QCOMPARE(rig.pasteboard.writes, 0);
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
    }

    // Browsers put the page's address beside every copy, and title their windows with the page.
    void browserSourceFromCopyAndWindowTitle_data()
    {
        QTest::addColumn<Items>("copied");
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<QString>("treeURL");
        QTest::addColumn<QString>("expectedURL"); // empty: none
        QTest::addColumn<QString>("expectedTitle"); // empty: none

        QString firefoxAddress = QStringLiteral("file:///tmp/p\u00e4ge.html");
        QByteArray utf16(reinterpret_cast<const char*>(firefoxAddress.utf16()), firefoxAddress.size() * 2);
        const QByteArray text = QByteArrayLiteral("Hello");
        QTest::newRow("Firefox")
            << Items {{{plainType, text}, {QStringLiteral("text/x-moz-url-priv"), utf16}}}
            << QStringLiteral("Caf\u00e9 \u2014 Mozilla Firefox") << QString() << firefoxAddress
            << QStringLiteral("Caf\u00e9");
        QTest::newRow("Chromium") << Items {{{plainType, text},
            {QStringLiteral("chromium/x-source-url"), QByteArrayLiteral("https://example.org/a?b=1#c\n")}}}
                                  << "Example page - Chromium" << QString() << "https://example.org/a?b=1#c"
                                  << "Example page";
        QTest::newRow("the tree's address wins")
            << Items {{{plainType, text}, {QStringLiteral("chromium/x-source-url"), QByteArrayLiteral("https://copy.example/")}}}
            << "Page - Chromium"
            << "https://tree.example/"
            << "https://tree.example/"
            << "Page";
        // Firefox without its tree names only the site beside a copy: every page of the site
        // gives that one address. The tree's page address wins where there is a tree.
        const QString site = QStringLiteral("http://host:8080");
        const QByteArray siteUtf16(reinterpret_cast<const char*>(site.utf16()), site.size() * 2);
        const Items siteOnly {{{plainType, text}, {QStringLiteral("text/x-moz-url-priv"), siteUtf16}}};
        QTest::newRow("Firefox site, tree on")
            << siteOnly << QStringLiteral("Page \u2014 Mozilla Firefox") << "http://host:8080/docs/page.html?x=1"
            << "http://host:8080/docs/page.html?x=1" << "Page";
        QTest::newRow("Firefox site, no tree")
            << siteOnly << QStringLiteral("Page \u2014 Mozilla Firefox") << QString() << site << "Page";
    }
    void browserSourceFromCopyAndWindowTitle()
    {
        QFETCH(Items, copied);
        QFETCH(QString, windowTitle);
        QFETCH(QString, treeURL);
        QFETCH(QString, expectedURL);
        QFETCH(QString, expectedTitle);
        Rig rig;
        if (!windowTitle.isEmpty())
            rig.workspace.windowTitle = windowTitle;
        if (!treeURL.isEmpty())
            rig.focused()->setText(AccessibleAttribute::URL, treeURL);
        rig.copyOn(1, copied);
        const CaptureOutcome outcome = rig.run();
        QVERIFY(resultOf(outcome));
        QCOMPARE(resultOf(outcome)->text, QStringLiteral("Hello"));
        QCOMPARE(resultOf(outcome)->sourceURL.value_or(QString()), expectedURL);
        QCOMPARE(resultOf(outcome)->sourceTitle.value_or(QString()), expectedTitle);
        QCOMPARE(rig.memory.items(), (Items {{{plainType, QByteArrayLiteral("original")}}}));
    }
};

TESSELLON_TEST_MAIN(TestSelectionCapture)
#include "tst_SelectionCapture.moc"
