#pragma once
// A workspace whose applications, icons and answers are whatever the test sets; it records
// what it was asked to open and reveal.

#include "Platform/Workspace.h"

#include <QHash>

class MemoryWorkspace final : public Workspace
{
public:
    std::optional<RunningApplication> frontmostApplication() override
    {
        ++calls;
        return frontmost;
    }
    QList<RunningApplication> runningApplications() override
    {
        ++runningCalls;
        return running;
    }
    std::optional<QIcon> installedApplicationIcon(const QString& bundleIdentifier) override
    {
        ++installedIconCalls;
        return installedIcons.value(bundleIdentifier);
    }
    std::optional<QIcon> runningApplicationIcon(qint32 processIdentifier) override
    {
        ++runningIconCalls;
        return runningIcons.value(processIdentifier);
    }
    bool openAddress(const QString& address) override
    {
        if (!isOpenableAddress(address))
            return false;
        openedAddresses.append(address);
        return opens;
    }
    bool revealFile(const QString& path) override
    {
        revealedFiles.append(path);
        return reveals;
    }

    std::optional<QString> activeWindowTitle() override { return windowTitle; }
    std::optional<QString> activeWindowDocument() override { return windowDocument; }

    std::optional<RunningApplication> frontmost;
    std::optional<QString> windowTitle;
    std::optional<QString> windowDocument;
    int calls = 0;
    QList<RunningApplication> running;
    int runningCalls = 0;
    QHash<QString, std::optional<QIcon>> installedIcons;
    int installedIconCalls = 0;
    QHash<qint32, std::optional<QIcon>> runningIcons;
    int runningIconCalls = 0;
    QStringList openedAddresses;
    bool opens = true;
    QStringList revealedFiles;
    bool reveals = true;
};
