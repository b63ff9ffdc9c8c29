#pragma once
// A prompt cut into several messages, with the text to copy or the reason the copy is refused.

#include "ZubraCore/Composition/ComposedContext.h"

#include <QList>
#include <QString>
#include <optional>

struct SplitCopyPlan
{
    QList<ComposedContext> messages; // as split, also when the copy is refused
    std::optional<QString> clipboardText; // absent when refused
    QString notice; // always one sentence
};
