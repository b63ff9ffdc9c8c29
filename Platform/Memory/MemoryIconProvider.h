#pragma once
// Icons that exist only where set, and a record of every question asked. Empty, it is the
// provider of a program that must not show this machine's icons (the surface export).

#include "Platform/IconProvider.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>

class MemoryIconProvider final : public IconProvider
{
public:
    std::optional<QIcon> installedApplicationIcon(const QString& bundleIdentifier) override
    {
        return answer(QStringLiteral("installed:") + bundleIdentifier, installed.value(bundleIdentifier));
    }
    std::optional<QIcon> runningApplicationIcon(const QString& bundleIdentifier) override
    {
        return answer(QStringLiteral("running:") + bundleIdentifier, running.value(bundleIdentifier));
    }
    std::optional<QIcon> runningApplicationIconNamed(const QString& name) override
    {
        return answer(QStringLiteral("named:") + name, named.value(name));
    }

    QStringList questions() const
    {
        const QMutexLocker locker(&m_mutex);
        return m_questions;
    }

    QHash<QString, QIcon> installed; // by desktop-entry id
    QHash<QString, QIcon> running; // by desktop-entry id
    QHash<QString, QIcon> named; // by display name

private:
    std::optional<QIcon> answer(const QString& question, const QIcon& icon)
    {
        const QMutexLocker locker(&m_mutex);
        m_questions.append(question);
        return icon.isNull() ? std::nullopt : std::optional<QIcon>(icon);
    }

    mutable QMutex m_mutex;
    QStringList m_questions;
};
