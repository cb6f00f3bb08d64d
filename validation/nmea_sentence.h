#pragma once

#include <cstdint>

namespace vorlane {

inline constexpr std::uint32_t FORMATTER_UNLISTED = 0;
inline constexpr std::uint32_t FORMATTER_QUERY = 777;
inline constexpr std::uint32_t FORMATTER_PROPRIETARY = 888;
inline constexpr std::int32_t TALKER_UNLISTED = 0;
inline constexpr std::int32_t TALKER_PROPRIETARY = 888;

// The validator's identification of one sentence. The fragment fields are left alone by the
// validator itself: the caller resets them to -1 and the rules of multi-sentence messages
// overwrite them, which the output queues rely on to key AIS replacement.
struct nmea_sentence_info {
    std::uint32_t formatter_index = FORMATTER_UNLISTED;
    std::int32_t talker_index = TALKER_UNLISTED;
    char talker[3] = {};
    char formatter[9] = {};
    std::int32_t fragment_number = -1;
    std::int32_t fragment_total = -1;
    std::int32_t sequence_id = -1;
    // Set by the validator: the sentence passed in a layout of an earlier edition only.
    bool earlier_layout = false;
};

// The layouts a sentence may follow: the current edition's alone, or also those that earlier
// editions defined for the formatters whose layout has grown since (fewer trailing fields).
enum class nmea_editions : std::uint8_t { current, all };

// Per-sentence counters; on rejection exactly one of them has been raised.
struct nmea_error_counts {
    std::int32_t nmea_syntax_error = 0;
    std::int32_t nmea_checksum_error = 0;
};

}  // namespace vorlane
