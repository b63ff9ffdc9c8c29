#pragma once
// The outcome of one capture: the selected text with where it came from, or the reason there
// is none.

#include <QString>
#include <optional>
#include <variant>

struct CaptureResult
{
    QString text; // trimmed at both ends
    std::optional<QString> markdown;
    QString appName;
    std::optional<QString> bundleID;
    std::optional<QString> sourceURL; // the web address exactly as given
    std::optional<QString> sourceTitle;
    // The document attribute, unchanged (often a file: address), else the path of the file the
    // active window shows.
    std::optional<QString> filePath;
};

class CaptureError
{
public:
    enum class Code {
        noSelection,
        notTrusted,
        noFrontmostApp,
        chromePDF,
        clipboardRestoreFailed,
        // The clipboard could not be saved before the copy, so no copy was made: its owner did
        // not answer, or it offered more than a snapshot holds.
        clipboardOwnerSilent,
        clipboardTooLarge,
        // A password: a password field in focus, a password field's mask, or a copy marked as a
        // password. Nothing of its text was kept.
        passwordRefused,
    };

    static CaptureError noSelection(const QString& diagnostic) { return CaptureError(Code::noSelection, diagnostic); }
    static CaptureError notTrusted() { return CaptureError(Code::notTrusted); }
    static CaptureError noFrontmostApp() { return CaptureError(Code::noFrontmostApp); }
    static CaptureError chromePDF() { return CaptureError(Code::chromePDF); }
    static CaptureError clipboardRestoreFailed() { return CaptureError(Code::clipboardRestoreFailed); }
    static CaptureError clipboardOwnerSilent() { return CaptureError(Code::clipboardOwnerSilent); }
    static CaptureError clipboardTooLarge() { return CaptureError(Code::clipboardTooLarge); }
    static CaptureError passwordRefused(const QString& diagnostic)
    {
        return CaptureError(Code::passwordRefused, diagnostic);
    }

    Code code() const { return m_code; }
    // The diagnostic line of noSelection and passwordRefused, for the log only; empty for the others.
    const QString& diagnostic() const { return m_diagnostic; }
    // The sentence shown to the user.
    QString errorDescription() const;

    friend bool operator==(const CaptureError&, const CaptureError&) = default;

private:
    explicit CaptureError(Code code, const QString& diagnostic = {})
        : m_code(code)
        , m_diagnostic(diagnostic)
    {
    }
    Code m_code;
    QString m_diagnostic;
};

using CaptureOutcome = std::variant<CaptureResult, CaptureError>;
