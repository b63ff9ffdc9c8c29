#pragma once
// Pasted-text import written the plain way: string replacements and every length counted again.

#include "ZubraCore/Text/TextMetrics.h"

#include <QStringList>

namespace PlainTextImport {

// Splits at every space that is a character of its own, keeping empty words.
inline QStringList words(const QString& line)
{
    QStringList result;
    const QList<qsizetype> b = TextMetrics::boundaries(line);
    qsizetype start = 0;
    for (qsizetype k = 0; k + 1 < b.size(); ++k) {
        if (b[k + 1] - b[k] == 1 && line[b[k]] == u' ') {
            result.append(line.sliced(start, b[k] - start));
            start = b[k + 1];
        }
    }
    result.append(line.sliced(start));
    return result;
}

inline QStringList splitLongLine(const QString& line, qsizetype maxLength)
{
    if (TextMetrics::count(line) <= maxLength)
        return {line};
    QStringList list;
    QString current;
    for (QString word : words(line)) {
        if (!current.isEmpty() && TextMetrics::count(current) + 1 + TextMetrics::count(word) > maxLength) {
            list.append(current);
            current.clear();
        }
        while (TextMetrics::count(word) > maxLength) {
            const QString head = TextMetrics::prefix(word, maxLength);
            list.append(head);
            word = word.sliced(head.size());
        }
        if (!current.isEmpty())
            current += u' ';
        current += word;
    }
    if (!current.isEmpty())
        list.append(current);
    list.removeAll(QString());
    return list;
}

inline QStringList splitBlock(const QString& block, qsizetype maxLength)
{
    if (TextMetrics::count(block) <= maxLength)
        return {block};
    QStringList result;
    QString current;
    for (const QString& line : block.split(u'\n')) {
        if (TextMetrics::count(line) <= maxLength) {
            if (!current.isEmpty() && TextMetrics::count(current) + 1 + TextMetrics::count(line) > maxLength) {
                result.append(current);
                current.clear();
            }
            if (!current.isEmpty())
                current += u'\n';
            current += line;
        } else {
            if (!current.isEmpty()) {
                result.append(current);
                current.clear();
            }
            result.append(splitLongLine(line, maxLength));
        }
    }
    if (!current.isEmpty())
        result.append(current);
    return result;
}

inline QStringList chunks(QString text, qsizetype maxLength)
{
    text.replace(u"\r\n"_qs, u"\n"_qs);
    text.replace(u"\r"_qs, u"\n"_qs);
    while (text.contains(u"\n\n\n"_qs))
        text.replace(u"\n\n\n"_qs, u"\n\n"_qs);
    QStringList result;
    for (const QString& block : text.split(u"\n\n"_qs)) {
        const QString trimmed = block.trimmed();
        if (!trimmed.isEmpty())
            result.append(splitBlock(trimmed, maxLength));
    }
    return result;
}

} // namespace PlainTextImport
