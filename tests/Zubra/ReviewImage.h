#pragma once
// Off-screen pictures of widgets for review: written only when TESSELLON_REVIEW_DIR names a
// folder, so a normal test run leaves no files behind.

#include <QDir>
#include <QImage>
#include <QString>
#include <QWidget>

namespace ReviewImage {

inline QImage grab(QWidget& widget)
{
    widget.ensurePolished();
    widget.adjustSize();
    return widget.grab().toImage();
}

inline void saveForReview(const QImage& image, const QString& name)
{
    const QString dir = qEnvironmentVariable("TESSELLON_REVIEW_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    image.save(dir + u'/' + name + QStringLiteral(".png"));
}

} // namespace ReviewImage
