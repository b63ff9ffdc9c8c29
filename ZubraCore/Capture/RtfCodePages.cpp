#include "ZubraCore/Capture/RtfCodePages.h"

#include <algorithm>
#include <unicode/ucnv.h>

namespace RtfCodePages {
namespace {

struct Pair
{
    int key;
    int value;
};

constexpr Pair charsetPages[] = {{77, 10000}, {128, 932}, {129, 949}, {134, 936}, {136, 950}, {161, 1253}, {162, 1254},
    {163, 1258}, {177, 1255}, {178, 1256}, {186, 1257}, {204, 1251}, {222, 874}, {238, 1250}};

struct Name
{
    int codePage;
    const char* converter;
};

constexpr Name converterNames[] = {
    {437, "cp437"},
    {850, "cp850"},
    {852, "cp852"},
    {866, "cp866"},
    {874, "windows-874-2000"},
    {932, "windows-31j"},
    {936, "windows-936-2000"},
    {949, "windows-949-2000"},
    {950, "windows-950-2000"},
    {1250, "windows-1250"},
    {1251, "windows-1251"},
    {1252, "windows-1252"},
    {1253, "windows-1253"},
    {1254, "windows-1254"},
    {1255, "windows-1255"},
    {1256, "windows-1256"},
    {1257, "windows-1257"},
    {1258, "windows-1258"},
    {10000, "macintosh"},
    {65001, "UTF-8"},
};

const char* converterName(int codePage)
{
    const auto it = std::find_if(std::begin(converterNames), std::end(converterNames),
        [codePage](const Name& n) { return n.codePage == codePage; });
    return it == std::end(converterNames) ? "windows-1252" : it->converter;
}

} // namespace

int forCharset(int charset, int documentCodePage)
{
    const auto it = std::find_if(
        std::begin(charsetPages), std::end(charsetPages), [charset](const Pair& p) { return p.key == charset; });
    return it == std::end(charsetPages) ? documentCodePage : it->value;
}

Decoder::~Decoder()
{
    for (UConverter* c : std::as_const(m_converters))
        if (c)
            ucnv_close(c);
}

UConverter* Decoder::converter(int codePage)
{
    const char* name = converterName(codePage);
    const auto it = m_converters.constFind(name);
    if (it != m_converters.cend())
        return *it;
    UErrorCode status = U_ZERO_ERROR;
    UConverter* c = ucnv_open(name, &status);
    if (U_FAILURE(status))
        c = nullptr;
    m_converters.insert(name, c);
    return c;
}

QString Decoder::decode(QByteArrayView bytes, int codePage)
{
    if (std::all_of(bytes.begin(), bytes.end(), [](char b) { return uchar(b) < 0x80; }))
        return QString::fromLatin1(bytes);
    UConverter* c = converter(codePage);
    if (!c)
        return QString::fromLatin1(bytes); // no converter data: Latin-1 is the closest safe reading
    ucnv_reset(c);
    QString decoded(bytes.size() * 2 + 4, Qt::Uninitialized);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_toUChars(c, reinterpret_cast<UChar*>(decoded.data()), int32_t(decoded.size()), bytes.data(),
        int32_t(bytes.size()), &status);
    decoded.resize(U_FAILURE(status) ? 0 : n);
    return decoded;
}

} // namespace RtfCodePages
