#include "Platform/X11/ProcessScriptRunner.h"

#include <QDeadlineTimer>
#include <QProcess>

namespace {

constexpr int sliceMs = 20;

// Appends what the pipe holds, keeping at most the cap; the rest is read and dropped so the
// child never blocks on a full pipe.
void drain(QByteArray& into, const QByteArray& chunk, bool& overflow)
{
    const qsizetype room = ScriptRunner::maxOutputBytes - into.size();
    if (chunk.size() > room) {
        into.append(chunk.left(room));
        overflow = true;
    } else {
        into.append(chunk);
    }
}

} // namespace

ProcessScriptRunner::ProcessScriptRunner(QString program, QStringList argumentsBeforeScript)
    : m_program(std::move(program))
    , m_arguments(std::move(argumentsBeforeScript))
{
}

ScriptRunner::Outcome ProcessScriptRunner::run(const QString& script, std::chrono::milliseconds limit)
{
    Outcome outcome;
    QProcess process;
    process.setProgram(m_program);
    process.setArguments(m_arguments + QStringList {script});
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted()) {
        outcome.status = Status::failedToStart;
        outcome.errorText = process.errorString();
        return outcome;
    }

    const QDeadlineTimer deadline(limit);
    auto drainBoth = [&] {
        drain(outcome.standardOutput, process.readAllStandardOutput(), outcome.outputTooLarge);
        drain(outcome.standardError, process.readAllStandardError(), outcome.outputTooLarge);
    };
    // waitForFinished reads both pipes into the process's buffers while it waits; moving them
    // into the capped buffers each slice keeps memory bounded.
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
        const int slice = int(std::min<qint64>(sliceMs, std::max<qint64>(1, deadline.remainingTime())));
        process.waitForFinished(slice);
        drainBoth();
    }

    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(500)) {
            process.kill();
            process.waitForFinished(2000);
        }
        outcome.status = Status::timedOut;
        outcome.standardOutput.clear();
        outcome.standardError.clear();
        return outcome;
    }
    drainBoth();
    outcome.status = Status::finished;
    return outcome;
}
