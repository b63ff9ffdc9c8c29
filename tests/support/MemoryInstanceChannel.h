#pragma once
// An instance channel within one process: the test says whether another instance runs and
// records the requests sent to it.

#include "Platform/InstanceChannel.h"

class MemoryInstanceChannel final : public InstanceChannel
{
public:
    std::optional<RunningInstance> claim() override { return running; }
    bool sendShowWindowRequest() override
    {
        ++requestsSent;
        return delivers;
    }
    void takeOver() override { ++takeOvers; }
    // Another instance asks this one to show its window.
    void receiveShowWindowRequest() { emit showWindowRequested(); }

    std::optional<RunningInstance> running;
    bool delivers = true;
    int requestsSent = 0;
    int takeOvers = 0;
};
