#pragma once
// The Markdown copy of everything captured from one source, shared by the sidebar, the row menu
// and the detail view.

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

} // namespace SourceMarkdown
