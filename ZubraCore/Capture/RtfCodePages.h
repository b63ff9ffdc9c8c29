#pragma once
// The code pages of RTF text: which one a font's character set selects, and decoding bytes
// written in one. Unknown code pages read as windows-1252.

#include <QByteArrayView>
#include <QHash>
#include <QString>

struct UConverter;

namespace RtfCodePages {

// The code page of a font character set (\fcharset); the document's own (\ansicpg) for ANSI,
// default and unknown sets.
int forCharset(int charset, int documentCodePage);

// Decodes bytes of one code page; keeps one converter per code page it has met.
class Decoder
{
public:
    Decoder() = default;
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Unmappable bytes become U+FFFD.
    QString decode(QByteArrayView bytes, int codePage);

private:
    UConverter* converter(int codePage);
    QHash<QByteArray, UConverter*> m_converters; // by converter name: at most one per known page
};

} // namespace RtfCodePages
