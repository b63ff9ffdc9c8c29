#include "Zubra/LibraryWindow/SourceMarkdown.h"

#include "ZubraCore/Capture/Clipboard.h"
#include "ZubraCore/Library/SelectionsMarkdown.h"
#include "ZubraCore/Library/Store.h"

namespace SourceMarkdown {

QList<Selection> selectionsFrom(const Store& store, const QString& identifier)
{
    QList<Selection> out;
    for (const Selection& selection : store.selections()) {
        if (SourceIdentity::keyOf(selection) == identifier)
            out.append(selection);
    }
    return out;
}

void copy(const Store& store, Pasteboard* pasteboard, const SourceIdentity& source)
{
    if (!pasteboard)
        return;
    Clipboard::writeMarkdown(
        SelectionsMarkdown::fromSource(selectionsFrom(store, source.identifier), source), *pasteboard);
}

QString joinedPlainText(const QList<Selection>& selections)
{
    QStringList texts;
    texts.reserve(selections.size());
    for (const Selection& selection : selections)
        texts.append(selection.text);
    return texts.join(u"\n\n---\n\n"_qs);
}

} // namespace SourceMarkdown
