#pragma once
// Launch at login as a freedesktop autostart entry: $XDG_CONFIG_HOME/autostart/<id>.desktop.
// A desktop never asks to approve one, so the status is enabled or not registered.

#include "Platform/LoginItems.h"

#include <QString>

class XdgAutostartLoginItems final : public LoginItems
{
public:
    // program: the command the entry starts; empty = this process's executable.
    explicit XdgAutostartLoginItems(QString program = {});

    Status status() override;
    std::optional<QString> registerMainApp() override;
    std::optional<QString> unregisterMainApp() override;

    // $XDG_CONFIG_HOME (else ~/.config) + "/autostart/com.vesk.tessellon.desktop".
    static QString entryPath();
    // The entry's text for the program.
    static QByteArray entry(const QString& program);
    // One argument of an Exec line, quoted where the desktop-entry rules ask for it.
    static QString quotedArgument(const QString& argument);

private:
    QString m_program;
};
