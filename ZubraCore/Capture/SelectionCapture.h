#pragma once
// Reads the text selected in the frontmost application and where it came from, through three
// channels: the application's accessibility tree, a simulated copy read from the clipboard
// (saved before and put back after), and browser scripting.
//
// One object per capture. capture() blocks for up to several seconds (two polling passes of
// 0.8 s, browser scripts of 1.5 s each): run it on a worker thread. The clock and the sleep
// come from the Clock given, so tests run without waiting.
//
// A password field in focus refuses the capture before anything is read or sent; so does, once
// read, a selection that is a password field's mask (one mask character repeated), and a copy
// that a password manager marked as a password, before any of its text is read. A window
// without a safe copy keystroke (a terminal where selecting is copying, Emacs, GUI Vim) gets no
// keystroke: its selection comes from the accessibility element (PRIMARY) at once. When the
// keystroke left the clipboard unchanged, a late copy by the application is watched for and
// undone (LateCopyGuard).

#include "Platform/Accessibility.h"
#include "Platform/Clock.h"
#include "Platform/KeyInjector.h"
#include "Platform/Pasteboard.h"
#include "Platform/ScriptRunner.h"
#include "Platform/Workspace.h"
#include "ZubraCore/Capture/AttributedText.h"
#include "ZubraCore/Capture/CaptureResult.h"
#include "ZubraCore/Capture/Clipboard.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

class LateCopyGuard;

class SelectionCapture
{
public:
    struct Services
    {
        Accessibility& accessibility;
        Workspace& workspace;
        KeyInjector& keys;
        Pasteboard& pasteboard;
        ScriptRunner& scripts;
        Clock& clock;
        // Keeps the user's clipboard safe from a copy that comes after the capture gave up.
        LateCopyGuard* lateCopies = nullptr;
    };

    // What the accessibility walk found; a field is either absent or non-empty.
    struct AXExtract
    {
        std::optional<QString> selectedText;
        std::optional<QString> filePath;
        std::optional<QString> sourceURL;
        // The focused element holds a password: nothing of it may be captured.
        bool protectedContent = false;
    };

    static constexpr std::chrono::milliseconds pollingPass {800}; // one polling pass waits this long for the copy
    static constexpr std::chrono::milliseconds pollInterval {40};
    static constexpr std::chrono::milliseconds keyHold {30}; // between the key-down and key-up events
    static constexpr std::chrono::milliseconds rereadDelay {60};
    static constexpr int maxWalkElements = 12; // the focused element and up to 11 ancestors

    explicit SelectionCapture(Services services);

    CaptureOutcome capture();

    // The Chromium-family browsers, for the PDF-viewer rule.
    static const QStringList& chromiumBundleIDs();

    AXExtract extractAX(qint32 pid);
    // The walk from the focused element up; nothing for no element.
    AXExtract extractAX(const AccessibleElementRef& focused);
    bool waitForPasteboardChange(qint64 preCount, Clock::TimePoint deadline);
    static QString diagnosticDetail(const QString& appName, qint32 pid, bool changeOccurred,
        qsizetype postCopyTextLength, bool hasAXSelection, const QStringList& types);
    // How a clipboard type prints in the diagnostic line: its own name for the known text,
    // rich-text, document, image and address formats, "other" for anything else.
    static QString diagnosticTypeName(const QString& type);
    // The web address in the text when it parses as one, unchanged.
    static std::optional<QString> parsedURL(const QString& text);
    // True when the address's path ends in ".pdf", any case.
    static bool hasPdfPath(const QString& url);
    // True when the text, trimmed, is one mask character repeated more than three times: what a
    // password field shows, copies or puts on PRIMARY in place of its text. A mask character is
    // one of the usual ones ("*", U+2022, U+25CF, U+2217 and the like); from a program without a
    // tree, whose fields nothing tells apart, any symbol or punctuation character (Tk lets a
    // program choose any: "#", "x" is a letter and stays text).
    static bool isPasswordMask(const QString& text, bool treeless);
    static constexpr int maskRepeats = 4; // the fewest repeats that make a mask
    // Unicode's punctuation and symbol categories (P and S).
    static bool isSymbolOrPunctuation(uint character);

private:
    // The frontmost application as the capture names it.
    struct Source
    {
        qint32 pid = 0;
        QString appName;
        std::optional<QString> bundleID;
    };
    // The user's clipboard as it was before the capture, and its change count then.
    struct Saved
    {
        Clipboard::PasteboardSnapshot snapshot;
        qint64 count = 0;
    };
    // The copy keystroke: the change count before it, and whether the clipboard moved.
    struct Copy
    {
        qint64 preCount = 0;
        bool changed = false;
    };
    // What the copy put on the clipboard.
    struct Copied
    {
        std::optional<QString> plain;
        std::optional<AttributedText> rich;
        std::optional<QString> htmlTitle;
        std::optional<QString> address; // the browser's source address beside the copy
    };

    std::optional<Source> frontmostSource();
    Saved saveClipboard();
    Copy copySelection(const Saved& saved, const Source& source);
    Copied readCopy();
    static QStringList typesOf(const Clipboard::PasteboardSnapshot& snapshot);
    // The result's application, address, title and file, the text not yet chosen.
    CaptureResult describedSource(const Source& source, const AXExtract& ax, const Copied& copied);
    // The text from the copy (else the tree's), with the Markdown of its rich text.
    static CaptureOutcome withCopiedText(
        CaptureResult result, const Copied& copied, const AXExtract& ax, const QString& diagnostic);
    // How a mask is told: whether the copy changed the clipboard, whether the program has no tree.
    struct MaskCheck
    {
        bool changed = false;
        bool treeless = false;
    };
    // The outcome, unless its text is a password field's mask: then refused, nothing of it kept.
    static CaptureOutcome refusingMask(
        CaptureOutcome outcome, const Source& source, MaskCheck check, const QStringList& types);
    // The refusal of a password, logged with why; nothing of its text goes into the log.
    static CaptureError refusedPassword(
        const Source& source, const QString& why, bool changed, const QStringList& types);
    AccessibleElementRef focusedElement(qint32 pid);
    // A flag attribute of the element; false for no element or no flag.
    static bool flagOf(const AccessibleElementRef& element, AccessibleAttribute attribute);
    void postCopyCommand();

    Services m_services;
};
