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

    std::optional<QString> activeWindowTitle() override { return windowTitle; }

    std::optional<RunningApplication> frontmost;
    std::optional<QString> windowTitle;
    int calls = 0;
};
