#pragma once
// The Markdown copy of everything captured from one source, shared by the sidebar, the row menu
// and the detail view; and the plain text of several selections as every plain copy joins them.

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Library/SourceIdentity.h"

#include <QList>
#include <QString>

class Pasteboard;
class Store;

namespace SourceMarkdown {

// Every selection of the library whose source has the identifier, in library order.
QList<Selection> selectionsFrom(const Store& store, const QString& identifier);

// Puts the source's title block and every capture from it on the pasteboard; none: nothing.
void copy(const Store& store, Pasteboard* pasteboard, const SourceIdentity& source);

// The selections' plain texts in the order given, joined by "\n\n---\n\n".
QString joinedPlainText(const QList<Selection>& selections);

} // namespace SourceMarkdown
