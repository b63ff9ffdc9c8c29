#pragma once
// The built-in task templates and the user's own, kept in the settings as one JSON array.

#include "ZubraCore/Composition/PromptTemplate.h"
#include "ZubraCore/Library/ContextDraft.h"

#include <QList>
#include <QSettings>
#include <QString>

namespace PromptTemplates {

// The custom list's key (AppSettings::customPromptTemplatesKey): UTF-8 JSON bytes.
QString customKey();
// Where a stored value that could not be read is kept before it is overwritten
// (then "-2", "-3"... when that key already holds other bytes).
QString unreadableKey();

// The eight built-ins, all in the Sections layout.
const QList<PromptTemplate>& builtins();

// A copy of the draft with the template's task and layout; nothing else changes.
ContextDraft apply(const PromptTemplate& promptTemplate, const ContextDraft& draft);

// The stored custom templates in stored order; empty when none are stored or they cannot be read.
QList<PromptTemplate> loadCustom(QSettings& defaults);
// Replaces the stored list. A stored value that does not decode is kept under unreadableKey() first.
void saveCustom(const QList<PromptTemplate>& templates, QSettings& defaults);
// Stores one template last, replacing any with the same id.
void saveCustom(const PromptTemplate& promptTemplate, QSettings& defaults);
// Removes the templates with this id (the list is written back even when none matched).
void removeCustom(const QString& id, QSettings& defaults);

} // namespace PromptTemplates
