#pragma once
// How many lines a text takes when wrapped at a width, as QLabel and the painters here wrap it
// (at word boundaries, else anywhere); counting stops past `most`, so a long text costs little.

#include <QFont>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <QtGlobal>

inline int wrappedLineCount(const QString& text, const QFont& font, int width, int most)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid() && lines <= most; line = layout.createLine()) {
        line.setLineWidth(qMax(1, width));
        ++lines;
    }
    layout.endLayout();
    return lines;
}
