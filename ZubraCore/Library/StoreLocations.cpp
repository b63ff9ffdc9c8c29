#include "ZubraCore/Library/StoreLocations.h"

#include "Platform/DiskFileSystem.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString dataFolder(const QString& product)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u'/' + product;
}

} // namespace

namespace StoreLocations {

QString defaultStoreURL()
{
    DiskFileSystem().createFolder(dataFolder(u"Tessellon"_qs)); // private when created; a failure shows at the first write
    return defaultStorePath();
}

QString defaultStorePath()
{
    return dataFolder(u"Tessellon"_qs) + u"/Tessellon.json"_qs;
}

QString backupURL(const QString& storeURL)
{
    const qsizetype slash = storeURL.lastIndexOf(u'/');
    const qsizetype dot = storeURL.lastIndexOf(u'.');
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot > slash + 1;
    return (hasExtension ? storeURL.left(dot) : storeURL) + u".backup.json"_qs;
}

QString legacyStoreURL()
{
    return dataFolder(u"Zubra"_qs) + u"/Zubra.json"_qs;
}

} // namespace StoreLocations
