#pragma once
// The longest shared beginning and end of two arrays (UTF-16 code units, UTF-8 bytes), compared
// 64 bytes at a time.

#include <QtGlobal>
#include <cstring>

namespace CommonAffixes {

constexpr qsizetype blockBytes = 64;

// Elements a[0, i) equal b[0, i), for the largest i up to n.
template <typename T> qsizetype prefixSize(const T* a, const T* b, qsizetype n)
{
    constexpr qsizetype block = blockBytes / qsizetype(sizeof(T));
    qsizetype i = 0;
    while (i + block <= n && std::memcmp(a + i, b + i, size_t(blockBytes)) == 0)
        i += block;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// Elements just before aEnd equal those just before bEnd, for the largest count up to n.
template <typename T> qsizetype suffixSize(const T* aEnd, const T* bEnd, qsizetype n)
{
    constexpr qsizetype block = blockBytes / qsizetype(sizeof(T));
    qsizetype i = 0;
    while (i + block <= n && std::memcmp(aEnd - i - block, bEnd - i - block, size_t(blockBytes)) == 0)
        i += block;
    while (i < n && aEnd[-i - 1] == bEnd[-i - 1])
        ++i;
    return i;
}

} // namespace CommonAffixes
