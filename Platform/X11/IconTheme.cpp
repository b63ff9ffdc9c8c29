#include "Platform/X11/IconTheme.h"

#include "Platform/RegularFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

namespace {
// Pictures bigger than this are not icons; a broken or hostile file is not decoded at all.
constexpr qint64 maxIconFileBytes = 8 * 1024 * 1024;
// A scalable picture is drawn at this size, the largest the views show an icon at.
constexpr int scalableIconSide = 128;

// An icon that actually draws: the file behind it was found and decoded.
std::optional<QIcon> drawable(const QIcon& icon)
{
    if (icon.isNull() || icon.pixmap(32, 32).isNull())
        return std::nullopt;
    return icon;
}

// The picture is read here, as a regular file without blocking, and decoded from memory: a pipe
// or device named like an icon never stalls the lookup.
std::optional<QIcon> fromFile(const QString& path)
{
    const std::optional<QByteArray> bytes = RegularFile::read(path, maxIconFileBytes);
    if (!bytes)
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(*bytes);
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLatin1().toLower());
    reader.setDecideFormatFromContent(true);
    if (reader.format() == "svg" || reader.format() == "svgz")
        reader.setScaledSize(QSize(scalableIconSide, scalableIconSide));
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return drawable(QIcon(QPixmap::fromImage(image)));
}
} // namespace

namespace IconTheme {

QStringList pixmapDirectories()
{
    return {QStringLiteral("/usr/share/pixmaps")};
}

std::optional<QIcon> resolve(const QString& iconValue, const QStringList& pixmapDirectories)
{
    const QString value = iconValue.trimmed();
    if (value.isEmpty() || value.size() > 1024)
        return std::nullopt;
    if (value.startsWith(u'/'))
        return fromFile(value);
    // A theme name never holds a path; some entries still write the file's extension.
    if (value.contains(u'/') || value.contains(QLatin1String("..")))
        return std::nullopt;
    QString name = value;
    for (const char* suffix : {".png", ".svg", ".xpm"})
        if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive))
            name.chop(4);

    // Qt's icon loader follows the theme rules: the desktop's theme, the themes it inherits, hicolor.
    if (QIcon::hasThemeIcon(name))
        if (auto icon = drawable(QIcon::fromTheme(name)))
            return icon;
    for (const QString& dir : pixmapDirectories) {
        if (name != value)
            if (auto icon = fromFile(dir + u'/' + value))
                return icon;
        for (const char* suffix : {".png", ".svg", ".xpm"})
            if (auto icon = fromFile(dir + u'/' + name + QLatin1String(suffix)))
                return icon;
    }
    return std::nullopt;
}

} // namespace IconTheme
