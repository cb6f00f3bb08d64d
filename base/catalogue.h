#pragma once

#include <array>
#include <cstddef>

namespace vorlane {

// Whether the rows of a catalogue stand in the order of the enum they describe, row k for the
// value k, so that a value finds its row by its number. Each catalogue checks it at compile
// time; `Key` is the row's member that holds the value.
template <auto Key, typename Row, std::size_t N>
constexpr bool rows_follow_enum(const std::array<Row, N>& rows) {
    for (std::size_t k = 0; k < N; ++k)
        if (static_cast<std::size_t>(rows[k].*Key) != k) return false;
    return true;
}

}  // namespace vorlane
