#pragma once
// This desktop has no script runner program for browsers: every run answers "unavailable" at once,
// without starting a process, so a capture goes on with what it already has.

#include "Platform/ScriptRunner.h"

class UnavailableScriptRunner final : public ScriptRunner
{
public:
    Outcome run(const QString&, std::chrono::milliseconds) override { return {}; }
};
