#include "RichTextSamples.h"

#include <QRandomGenerator>

namespace RichTextSamples {

namespace {

const char* const words[] = {"the", "capture", "library", "selection", "prompt", "model", "token", "budget", "source",
    "layout", "caf\xC3\xA9", "na\xC3\xAFve", "r\xC3\xA9sum\xC3\xA9", "context", "markdown", "window", "paste",
    "\xE2\x80\x94", "and", "of", "with", "text", "from", "into", "quickly", "written", "each"};

QByteArray sentence(QRandomGenerator& random, int count)
{
    QByteArray out;
    for (int k = 0; k < count; ++k) {
        if (k)
            out += ' ';
        out += words[random.bounded(int(std::size(words)))];
    }
    return out + ". ";
}

} // namespace

// A long article: headings, paragraphs with inline markup and links, lists and tables. Kept
// under the converter's token limit, as a real page that converts at all must be.
QByteArray articleHtml(qsizetype targetBytes)
{
    QRandomGenerator random(1);
    QByteArray html = "<!DOCTYPE html><html><head><title>Article</title><style>body{font:12px}</style></head><body>";
    int section = 0;
    while (html.size() < targetBytes - targetBytes / 128) {
        ++section;
        html += "<h2>Section " + QByteArray::number(section) + "</h2>\n";
        for (int p = 0; p < 3; ++p) {
            html += "<p>" + sentence(random, 60) + "<b>" + sentence(random, 4) + "</b>" + sentence(random, 70)
                + "<a href=\"https://example.org/articles/" + QByteArray::number(section) + "?p="
                + QByteArray::number(p) + "&amp;ref=feed\">" + sentence(random, 3) + "</a> " + sentence(random, 80)
                + "&ldquo;" + sentence(random, 10) + "&rdquo; &mdash; " + sentence(random, 60) + "</p>\n";
        }
        html += "<ul>";
        for (int i = 0; i < 4; ++i)
            html += "<li><a href=\"https://example.org/" + QByteArray::number(i) + "\">" + sentence(random, 4) + "</a> "
                + sentence(random, 25) + "</li>";
        html += "</ul>\n<table><tr><th>Name</th><th>Value</th></tr>";
        for (int r = 0; r < 2; ++r)
            html += "<tr><td>" + sentence(random, 3) + "</td><td><code>" + QByteArray::number(random.bounded(1000))
                + "</code></td></tr>";
        html += "</table>\n";
    }
    return html + "</body></html>";
}

QByteArray articleRtf(qsizetype targetBytes)
{
    QRandomGenerator random(2);
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Helvetica;}"
                     "{\\f1\\fmodern\\fcharset0 Courier New;}}{\\colortbl;\\red0\\green0\\blue238;}\n"
                     "{\\*\\listtable{\\list\\listtemplateid1{\\listlevel\\levelnfc23{\\leveltext\\'01\\u8226 ;}"
                     "{\\levelnumbers;}\\fi-360\\li720}\\listid1}}\n"
                     "{\\*\\listoverridetable{\\listoverride\\listid1\\listoverridecount0\\ls1}}\n";
    auto rtfSentence = [&](int count) {
        QByteArray s = sentence(random, count);
        s.replace("\xC3\xA9", "\\'e9").replace("\xC3\xAF", "\\'ef").replace("\xE2\x80\x94", "\\u8212\\'97");
        return s;
    };
    int section = 0;
    while (rtf.size() < targetBytes - targetBytes / 128) {
        ++section;
        rtf += "\\pard\\f0\\fs36\\b Section " + QByteArray::number(section) + "\\b0\\fs24\\par\n";
        for (int p = 0; p < 3; ++p) {
            rtf += "\\pard " + rtfSentence(50) + "{\\b " + rtfSentence(4) + "}" + rtfSentence(40) + "{\\i "
                + rtfSentence(5) + "}{\\field{\\*\\fldinst{HYPERLINK \"https://example.org/"
                + QByteArray::number(section) + "\"}}{\\fldrslt{\\cf1\\ul " + rtfSentence(3) + "}}} " + rtfSentence(40)
                + "{\\f1 code_" + QByteArray::number(p) + "}\\par\n";
        }
        for (int i = 0; i < 4; ++i)
            rtf += "\\pard\\li720\\fi-360\\ls1\\ilvl0{\\listtext\\tab \\uc0\\u8226 \\tab}" + rtfSentence(20)
                + "\\par\n";
    }
    return rtf + "}";
}

QString articleMarkdown(qsizetype targetBytes)
{
    QRandomGenerator random(3);
    QByteArray md;
    int section = 0;
    while (md.size() < targetBytes) {
        ++section;
        md += "## Section " + QByteArray::number(section) + "\n\n";
        md += sentence(random, 40) + "**" + sentence(random, 4) + "** " + sentence(random, 30) + "*"
            + sentence(random, 3) + "* [" + sentence(random, 3) + "](https://example.org/" + QByteArray::number(section)
            + ") `code_" + QByteArray::number(section) + "` " + sentence(random, 40) + "\n\n";
        for (int i = 0; i < 4; ++i)
            md += "- " + sentence(random, 15) + "\n";
        md += "\n> " + sentence(random, 20) + "\n\n1. " + sentence(random, 10) + "\n1. " + sentence(random, 10)
            + "\n\n";
    }
    return QString::fromUtf8(md);
}

} // namespace RichTextSamples
