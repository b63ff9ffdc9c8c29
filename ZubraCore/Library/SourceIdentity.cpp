#include "ZubraCore/Library/SourceIdentity.h"

#include "ZubraCore/Library/Selection.h"
#include "ZubraCore/Text/Composed.h"
#include "ZubraCore/Text/TextCollation.h"

SourceIdentity SourceIdentity::from(const Selection& selection)
{
    SourceIdentity identity;
    identity.appName = selection.appName;
    identity.bundleID = selection.bundleID;
    identity.identifier = keyOf(selection);
    if (selection.sourceURL)
        identity.sourceURL = selection.sourceURL;
    else if (selection.filePath)
        identity.filePath = selection.filePath;
    return identity;
}

QString SourceIdentity::keyOf(const Selection& selection)
{
    // Names and addresses that look the same are one source; a file path is the file system's
    // bytes, where two spellings of a name are two files. The already-composed text (the usual
    // case) comes back shared, without a copy.
    if (selection.sourceURL)
        return Composed::of(*selection.sourceURL);
    if (selection.filePath)
        return *selection.filePath;
    return Composed::of(selection.appName);
}

QString SourceIdentity::display() const
{
    if (sourceURL)
        return *sourceURL;
    if (filePath)
        return *filePath;
    return appName;
}

std::optional<QString> SourceIdentity::detail() const
{
    if (sourceURL)
        return u"Web \u00B7 "_qs + appName;
    if (filePath)
        return u"Document \u00B7 "_qs + appName;
    return std::nullopt;
}

bool operator<(const SourceIdentity& a, const SourceIdentity& b)
{
    return TextCollation::compareCaseInsensitive(a.display(), b.display()) < 0;
}

size_t qHash(const SourceIdentity& s, size_t seed) noexcept
{
    return qHashMulti(seed, s.identifier, s.appName, s.bundleID, s.sourceURL, s.filePath);
}
