#pragma once
// A workspace whose frontmost application is whatever the test sets.

#include "Platform/Workspace.h"

class MemoryWorkspace final : public Workspace
{
public:
    std::optional<RunningApplication> frontmostApplication() override
    {
        ++calls;
        return frontmost;
    }

    std::optional<RunningApplication> frontmost;
    int calls = 0;
};
