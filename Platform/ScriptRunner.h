#pragma once
// Runs one script in the system's script runner program and reports what it printed. Used to ask
// web browsers for their front tab's address, title and selected text.

#include <QByteArray>
#include <QString>
#include <chrono>

class ScriptRunner
{
public:
    enum class Status {
        finished, // the program ran to its end; its output is below
        unavailable, // this system has no script runner; nothing was started
        failedToStart, // the program could not be started; errorText says why
        timedOut, // the program outlived the limit and was ended
    };
    struct Outcome
    {
        Status status = Status::unavailable;
        QByteArray standardOutput;
        QByteArray standardError;
        bool outputTooLarge = false; // an output went past maxOutputBytes; the rest was dropped
        QString errorText;
    };

    // Each output pipe is read (and drained) while the program runs, up to this many bytes.
    static constexpr qsizetype maxOutputBytes = 32 * 1024 * 1024;

    virtual ~ScriptRunner() = default;
    // Runs the script and waits at most `limit` for the program to end.
    virtual Outcome run(const QString& script, std::chrono::milliseconds limit) = 0;
};
