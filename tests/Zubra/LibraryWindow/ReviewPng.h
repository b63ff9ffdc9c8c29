#pragma once
// Writes a widget's off-screen rendering to $TESSELLON_REVIEW_PNG_DIR/<name>.png for review;
// nothing when the variable is not set.

#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

inline void writeReviewPng(QWidget& widget, const QString& name)
{
    const QString dir = qEnvironmentVariable("TESSELLON_REVIEW_PNG_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget.grab().save(QDir(dir).filePath(name + u".png"_qs));
}
