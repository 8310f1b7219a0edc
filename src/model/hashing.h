#pragma once

#include <QHashFunctions>

#include <optional>

// Qt 6.4 has no qHash for std::optional; an absent value must hash apart from every present one.
template<typename T>
size_t qHashOptional(const std::optional<T> &value, size_t seed = 0) {
    return value ? qHashMulti(seed, true, *value) : qHash(false, seed);
}
