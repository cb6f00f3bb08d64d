#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string_view>
#include <type_traits>

#include "validation/nmea_sentence.h"
#include "validation/rejection.h"

// The scheme every sentence rule follows. A rule is data: one field_rule per data field in
// sentence order (kind, presence, pairing, what it records), an optional repeating group for
// the fields that follow, and a minimum count. One interpreter (run_compiled, in
// rule_interpreter.h) walks the fields; conditions that tie fields together in ways the table
// cannot say are small named hooks.
namespace vorlane::rules {

// Presence flags. Bit n (1..23) is set once data field n was non-empty and passed its check;
// bits of entry 1..4 do the same for the fields of the current repetition of a repeating
// group and are cleared when the next repetition begins. The high bits are set by reading
// the fragment fields, or by a hook for a condition of its own rule.
using flag_set = std::uint32_t;
inline constexpr int last_flagged_field = 23;
inline constexpr flag_set always = 1u << 0;
constexpr flag_set field(int n) {
    return 1u << n;
}
template <typename... N>
constexpr flag_set fields(N... n) {
    return (field(n) | ...);
}
constexpr flag_set entry(int k) {
    return 1u << (last_flagged_field + k);
}
inline constexpr flag_set entry_flags = entry(1) | entry(2) | entry(3) | entry(4);
inline constexpr flag_set multi_sentence = 1u << 28;  // fragment_total read and not 1
inline constexpr flag_set first_sentence = 1u << 29;  // fragment_number read and 1
inline constexpr flag_set later_sentence = 1u << 30;  // fragment_number read and above 1
inline constexpr flag_set rule_flag = 1u << 31;       // raised by a hook of the rule itself

enum class kind : std::uint8_t {
    any,
    time,
    latitude,
    longitude,
    angle,
    unsigned_decimal,
    signed_decimal,
    date,
    one_of,
    characters_of,
    digit,
    integer,
    digits,
    hex,
    hex_integer,
    upper_alnum,
    alnum,
    sixbit,
    zone_hours,              // "-13" to "-00", "00" to "13"
    navtex_code,             // two letters (transmitter, subject), a two-digit serial number
    translation_code,        // "A", "U", "P" and three characters, or an ISO 8859 part 1-16
    transducer_measurement,  // 0 or 1 for a switch, a signed number for any other type
    transducer_unit,         // the unit of the entry's transducer type
};
inline constexpr std::size_t kind_count = static_cast<std::size_t>(kind::transducer_unit) + 1;

// XDR: each transducer type and, in the same column, the unit it must report in. The switch
// ("S") and generic ("G") types carry no unit letter, only a single space; "l" (litres per
// second) is the one lower-case unit.
inline constexpr std::string_view transducer_types = "ABCDFGHILNPRSTUV";
inline constexpr std::string_view transducer_units = "DKCMH PASNPl RVM";
static_assert(transducer_types.size() == transducer_units.size());

// Where the value of a field goes once it passed.
enum class store : std::uint8_t {
    none,
    fragment_total,
    fragment_number,            // and must not exceed fragment_total
    fragment_number_unchecked,  // VER: not compared with the total
    sequence_id,
    remembered,  // kept in rule_state::remembered for a later field's hook
};

struct rule_state {
    explicit rule_state(nmea_sentence_info& i) : info(i) {}
    nmea_sentence_info& info;
    flag_set flags = always;
    // While a field is judged, the field before it; once all are read, the last field.
    std::string_view previous;
    // The first field of the current repetition of a repeating group, which says what the
    // others of its entry hold (the transducer type of an XDR quadruple).
    std::string_view entry_head;
    std::int32_t remembered = 0;  // the value of the field that stores(store::remembered)
    // Room for the scratch state of the rule being run, all zero when it starts; see scratch_of.
    alignas(8) std::byte scratch[8]{};
};

// The scratch state of the running rule, as the one type its hooks keep there. A trivial type
// whose all-zero bytes are its starting value, so the zeroed room already holds one.
template <typename Scratch>
Scratch& scratch_of(rule_state& s) {
    static_assert(std::is_trivial_v<Scratch> && sizeof(Scratch) <= sizeof(s.scratch) &&
                  alignof(Scratch) <= 8);
    return *std::launder(reinterpret_cast<Scratch*>(s.scratch));
}

using field_hook = rejection (*)(rule_state&, std::string_view field);
using finish_hook = rejection (*)(rule_state&);

struct field_rule {
    kind check = kind::any;
    flag_set required_when = 0;  // an empty field fails while any of these is set
    flag_set empty_when = 0;     // a non-empty field fails while any of these is set
    std::string_view choices;    // kind::one_of
    std::int32_t lo = 0;
    std::int32_t hi = 0;
    bool allow_minus = false;  // kind::digits
    std::uint8_t min_length = 0;
    std::uint8_t max_length = 0;  // 0: no limit
    std::string_view needs_when;  // a single-character value in this set ...
    flag_set needs = 0;           // ... needs all of these flags
    flag_set together = 0;        // after this field: all of these set, or none
    store target = store::none;
    field_hook hook = nullptr;  // runs after the checks, on empty fields too

    constexpr field_rule length(std::uint8_t n) const {
        field_rule r = *this;
        r.min_length = r.max_length = n;
        return r;
    }
    constexpr field_rule at_most(std::uint8_t n) const {
        field_rule r = *this;
        r.max_length = n;
        return r;
    }
    constexpr field_rule at_least(std::uint8_t n) const {
        field_rule r = *this;
        r.min_length = n;
        return r;
    }
    constexpr field_rule needs_if(std::string_view values, flag_set f) const {
        field_rule r = *this;
        r.needs_when = values;
        r.needs = f;
        return r;
    }
    constexpr field_rule all_or_none(flag_set f) const {
        field_rule r = *this;
        r.together = f;
        return r;
    }
    constexpr field_rule stores(store s) const {
        field_rule r = *this;
        r.target = s;
        return r;
    }
    constexpr field_rule then(field_hook h) const {
        field_rule r = *this;
        r.hook = h;
        return r;
    }
};

// Field kinds.
constexpr field_rule of_kind(kind k, std::string_view set = {}, std::int32_t lo = 0, std::int32_t hi = 0) {
    field_rule r;
    r.check = k;
    r.choices = set;
    r.lo = lo;
    r.hi = hi;
    return r;
}
constexpr field_rule any_text() {
    return of_kind(kind::any);
}
constexpr field_rule time() {
    return of_kind(kind::time);
}
constexpr field_rule latitude() {
    return of_kind(kind::latitude);
}
constexpr field_rule longitude() {
    return of_kind(kind::longitude);
}
constexpr field_rule angle() {
    return of_kind(kind::angle);
}
constexpr field_rule unsigned_decimal() {
    return of_kind(kind::unsigned_decimal);
}
constexpr field_rule signed_decimal() {
    return of_kind(kind::signed_decimal);
}
constexpr field_rule date() {
    return of_kind(kind::date);
}
constexpr field_rule one_of(std::string_view set) {
    return of_kind(kind::one_of, set);
}
constexpr field_rule characters_of(std::string_view set) {
    return of_kind(kind::characters_of, set);
}
constexpr field_rule letter(std::string_view one) {
    return one_of(one);
}
constexpr field_rule digit(std::int32_t lo, std::int32_t hi) {
    return of_kind(kind::digit, {}, lo, hi);
}
constexpr field_rule integer(std::int32_t lo, std::int32_t hi) {
    return of_kind(kind::integer, {}, lo, hi);
}
constexpr field_rule digits(bool allow_minus) {
    field_rule r = of_kind(kind::digits);
    r.allow_minus = allow_minus;
    return r;
}
constexpr field_rule hex() {
    return of_kind(kind::hex);
}
constexpr field_rule hex_integer(std::int32_t lo, std::int32_t hi) {
    return of_kind(kind::hex_integer, {}, lo, hi);
}
constexpr field_rule upper_alnum() {
    return of_kind(kind::upper_alnum);
}
constexpr field_rule alnum() {
    return of_kind(kind::alnum);
}
constexpr field_rule sixbit() {
    return of_kind(kind::sixbit);
}
constexpr field_rule zone_hours() {
    return of_kind(kind::zone_hours);
}
constexpr field_rule navtex_code() {
    return of_kind(kind::navtex_code);
}
constexpr field_rule translation_code() {
    return of_kind(kind::translation_code);
}
constexpr field_rule transducer_type() {
    return one_of(transducer_types);
}
constexpr field_rule transducer_measurement() {
    return of_kind(kind::transducer_measurement);
}
constexpr field_rule transducer_unit() {
    return of_kind(kind::transducer_unit);
}

// Presence.
constexpr field_rule opt(field_rule r) {
    return r;
}
constexpr field_rule req(field_rule r) {
    r.required_when = always;
    return r;
}
constexpr field_rule paired(int n, field_rule r) {
    r.required_when = field(n);
    return r;
}
constexpr field_rule required_when(flag_set f, field_rule r) {
    r.required_when = f;
    return r;
}
constexpr field_rule empty_when(flag_set f, field_rule r) {
    r.empty_when = f;
    return r;
}

// Row groups that several tables share: rows(...) joins single rows and groups, in order,
// into one table.
template <typename Part>
inline constexpr std::size_t row_count = 1;
template <std::size_t N>
inline constexpr std::size_t row_count<std::array<field_rule, N>> = N;

template <typename... Parts>
constexpr std::array<field_rule, (row_count<Parts> + ...)> rows(const Parts&... parts) {
    std::array<field_rule, (row_count<Parts> + ...)> table{};
    std::size_t at = 0;
    const auto append = [&](const auto& part) {
        if constexpr (std::is_same_v<std::remove_cvref_t<decltype(part)>, field_rule>)
            table[at++] = part;
        else
            for (const field_rule& r : part) table[at++] = r;
    };
    (append(parts), ...);
    return table;
}

// A layout that an earlier edition defined for a formatter whose layout has grown since: the
// same fields judged by the same rows, only without the trailing ones that did not exist yet.
// It fits `minimum` fields, or with a group every count from `minimum` to `most` in steps of
// the group. Its finishing check, when it needs one, stands in for the rule's, which may read
// fields the layout lacks.
struct earlier_layout {
    std::uint8_t minimum = 0;
    std::uint8_t group = 0;
    std::uint8_t most = 0;
    finish_hook finish = nullptr;

    constexpr bool fits(std::size_t count) const {
        if (group == 0) return count == minimum;
        return count >= minimum && count <= most && (count - minimum) % group == 0;
    }
};
constexpr earlier_layout earlier_count(std::uint8_t fields, finish_hook finish = nullptr) {
    return {fields, 0, fields, finish};
}
constexpr earlier_layout earlier_groups(std::uint8_t minimum, std::uint8_t group, std::uint8_t most) {
    return {minimum, group, most, nullptr};
}

struct sentence_rule {
    std::string_view name;  // the formatter, three characters
    std::uint8_t minimum = 0;
    std::uint8_t group = 0;  // when set, (count - minimum) must be a multiple of it
    std::span<const field_rule> fields;
    std::span<const field_rule> repeat;  // checks the fields after `fields`, in turn
    finish_hook finish = nullptr;        // runs after the count test
    // Taken only when the sentence's input accepts every edition's layout, and only for a count
    // the current layout refuses; the first unused entry ends the list.
    std::array<earlier_layout, 2> earlier_layouts{};

    constexpr sentence_rule or_earlier(earlier_layout first, earlier_layout second = {}) const {
        sentence_rule r = *this;
        r.earlier_layouts = {first, second};
        return r;
    }
};

// The data fields of one sentence where the line scan found them. Separator 0 is the comma
// behind the address field, separator `count` the "*" in front of the checksum; data field k
// (1-based) lies between separators k - 1 and k.
class sentence_fields {
  public:
    sentence_fields(const char* line, const std::uint8_t* separators, std::size_t count)
        : line_(line), separators_(separators), count_(count) {}

    std::size_t size() const { return count_; }
    std::string_view operator[](std::size_t k) const {
        const std::size_t from = separators_[k - 1] + 1u;
        return {line_ + from, separators_[k] - from};
    }

  private:
    const char* const line_;
    const std::uint8_t* const separators_;
    const std::size_t count_;
};

// Length and kind of a non-empty field, for hooks that choose a check by another field.
bool passes(const field_rule& r, std::string_view f);

// The fields of a formatter judged only by their number.
constexpr sentence_rule count_only(std::string_view name, std::uint8_t minimum, std::uint8_t group = 0) {
    sentence_rule r;
    r.name = name;
    r.minimum = minimum;
    r.group = group;
    return r;
}

}  // namespace vorlane::rules
