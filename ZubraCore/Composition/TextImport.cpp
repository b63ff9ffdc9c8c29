#include "ZubraCore/Composition/TextImport.h"

#include "ZubraCore/Text/TextMetrics.h"

namespace {

// Line feeds for CR LF and lone CR, and every run of empty lines cut to one.
QString normalizedLineEnds(const QString& text)
{
    QString out;
    out.reserve(text.size());
    qsizetype feeds = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < n && text[i + 1] == u'\n')
                ++i;
            c = u'\n';
        }
        if (c == u'\n') {
            if (++feeds <= 2)
                out.append(c);
            continue;
        }
        feeds = 0;
        out.append(c);
    }
    return out;
}

// Cuts a line longer than maxLength at spaces that are characters of their own; words longer than
// maxLength are cut every maxLength characters. Lengths add up: the joints never merge characters,
// since the joined text is always a stretch of the original line.
void splitLongLine(QStringView line, qsizetype maxLength, QStringList& out)
{
    const QList<qsizetype> bounds = TextMetrics::boundaries(line);
    const qsizetype clusters = bounds.size() - 1;
    if (clusters <= maxLength) {
        if (!line.isEmpty())
            out.append(line.toString());
        return;
    }
    // The current chunk is line[currentStart, currentEnd) holding currentLength characters.
    qsizetype currentStart = 0;
    qsizetype currentEnd = 0;
    qsizetype currentLength = 0;
    bool currentEmpty = true; // "current" as text: a space alone makes it non-empty
    auto flush = [&] {
        if (!currentEmpty)
            out.append(line.sliced(currentStart, currentEnd - currentStart).toString());
        currentEmpty = true;
        currentLength = 0;
    };
    auto word = [&](qsizetype firstCluster, qsizetype lastCluster) { // clusters [first, last)
        qsizetype length = lastCluster - firstCluster;
        if (!currentEmpty && currentLength + 1 + length > maxLength)
            flush();
        while (length > maxLength) {
            out.append(
                line.sliced(bounds[firstCluster], bounds[firstCluster + maxLength] - bounds[firstCluster]).toString());
            firstCluster += maxLength;
            length -= maxLength;
        }
        if (currentEmpty) {
            if (length == 0)
                return;
            currentStart = bounds[firstCluster];
            currentLength = length;
            currentEmpty = false;
        } else {
            currentLength += 1 + length;
        }
        currentEnd = bounds[lastCluster];
    };
    qsizetype wordStart = 0;
    for (qsizetype k = 0; k < clusters; ++k) {
        if (bounds[k + 1] - bounds[k] == 1 && line[bounds[k]] == u' ') {
            word(wordStart, k);
            wordStart = k + 1;
        }
    }
    word(wordStart, clusters);
    flush();
}

void splitBlock(QStringView block, qsizetype maxLength, QStringList& out)
{
    if (TextMetrics::count(block) <= maxLength) {
        out.append(block.toString());
        return;
    }
    // The current chunk is block[currentStart, currentEnd); lines never merge across a line feed.
    qsizetype currentStart = 0;
    qsizetype currentEnd = 0;
    qsizetype currentLength = 0;
    bool currentEmpty = true;
    auto flush = [&] {
        if (!currentEmpty)
            out.append(block.sliced(currentStart, currentEnd - currentStart).toString());
        currentEmpty = true;
        currentLength = 0;
    };
    qsizetype lineStart = 0;
    while (lineStart <= block.size()) {
        qsizetype lineEnd = block.indexOf(u'\n', lineStart);
        if (lineEnd < 0)
            lineEnd = block.size();
        const QStringView line = block.sliced(lineStart, lineEnd - lineStart);
        const qsizetype length = TextMetrics::count(line);
        if (length <= maxLength) {
            if (!currentEmpty && currentLength + 1 + length > maxLength)
                flush();
            if (currentEmpty) {
                if (length > 0) {
                    currentStart = lineStart;
                    currentLength = length;
                    currentEmpty = false;
                    currentEnd = lineEnd;
                }
            } else {
                currentLength += 1 + length;
                currentEnd = lineEnd;
            }
        } else {
            flush();
            splitLongLine(line, maxLength, out);
        }
        lineStart = lineEnd + 1;
    }
    flush();
}

} // namespace

namespace TextImport {

QStringList chunks(const QString& text, qsizetype maxLength)
{
    maxLength = std::max<qsizetype>(1, maxLength);
    const QString normalized = normalizedLineEnds(text);
    QStringList out;
    qsizetype start = 0;
    while (start <= normalized.size()) {
        qsizetype end = normalized.indexOf(u"\n\n", start);
        if (end < 0)
            end = normalized.size();
        const QStringView block = QStringView(normalized).sliced(start, end - start).trimmed();
        if (!block.isEmpty())
            splitBlock(block, maxLength, out);
        start = end + 2;
    }
    return out;
}

} // namespace TextImport
