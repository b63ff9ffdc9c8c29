#pragma once
// A rendered prompt: its text, the token estimate and the sentences to show about the budget.

#include <QString>
#include <QStringList>

struct ComposedContext
{
    QString text;
    qint64 tokens = 0;
    QStringList feedback; // empty when there is nothing to say
    qint64 entryCount = 0; // prepared entries that took part in the text
};
