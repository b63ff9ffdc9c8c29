#pragma once
// Hashing helpers shared by the records: every stored field takes part.

#include <QHashFunctions>
#include <optional>

template <typename T> size_t qHash(const std::optional<T>& value, size_t seed = 0) noexcept
{
    return value ? qHashMulti(seed, true, *value) : qHash(false, seed);
}
