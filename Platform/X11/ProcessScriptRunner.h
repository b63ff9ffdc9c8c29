#pragma once
// Runs a script as `program <arguments...> <script>` in a child process. Both output pipes are
// drained while waiting, so a large answer never blocks the child; a child that outlives the
// limit is terminated (then killed) and reaped.

#include "Platform/ScriptRunner.h"

#include <QStringList>

class ProcessScriptRunner final : public ScriptRunner
{
public:
    explicit ProcessScriptRunner(QString program = QStringLiteral("/usr/bin/osascript"),
        QStringList argumentsBeforeScript = {QStringLiteral("-e")});

    Outcome run(const QString& script, std::chrono::milliseconds limit) override;

private:
    QString m_program;
    QStringList m_arguments;
};
