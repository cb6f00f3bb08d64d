#pragma once

// The interpreter of the sentence rules. It is instantiated once per rule (run_compiled), with
// the rule's rows as constants: the choice of check for each field, its bounds, its presence
// flags and its hook are settled at compile time, and what is left for a sentence is the checks
// themselves, in the order of its fields. A loop over the rows would choose the check by a
// jump per field, and the fields of successive sentences of different formatters make those
// jumps unpredictable. Only the formatters' dispatch table (sentence_rules.cpp) instantiates
// it; passes(), for the hooks, takes the check of a single row from here.
#include <algorithm>
#include <cstddef>
#include <utility>

#include "validation/field_checks.h"
#include "validation/rule_scheme.h"

namespace vorlane::rules {

namespace interpreter_detail {

// Sets of choices are a few characters long: a plain loop beats a library search call.
inline bool is_one_of(char c, std::string_view set) {
    for (const char choice : set)
        if (choice == c) return true;
    return false;
}

// The `count` digits at `at` as a number, -1 when one of them is not a digit: the character
// check and the conversion of the fixed parts of a time, a position or a date in one go.
[[gnu::always_inline]] inline int digits_at(std::string_view f, std::size_t at, std::size_t count) {
    int value = 0;
    bool digits = true;
    for (std::size_t i = at; i < at + count; ++i) {
        const unsigned digit = static_cast<unsigned char>(f[i]) - unsigned{'0'};
        digits &= digit < 10;
        value = value * 10 + static_cast<int>(digit);
    }
    return digits ? value : -1;
}

inline bool in_range(int value, int lo, int hi) {
    return value >= lo && value <= hi;
}

// The minutes or seconds at `at`, two digits below 60 that the caller has checked, and their
// decimals. A fraction of up to 13 digits keeps the number below 60 and within what a double
// holds exactly, so that its digits alone decide; anything else takes the general check.
[[gnu::always_inline]] inline bool below_sixty_with_decimals(std::string_view f, std::size_t at) {
    const std::size_t n = f.size();
    if (n == at + 2) return true;
    if (f[at + 2] == '.' && n - at - 3 <= 13) {
        bool digits = true;
        for (std::size_t i = at + 3; i < n; ++i) digits &= f[i] >= '0' && f[i] <= '9';
        if (digits) return true;
    }
    return check_decimal_range(f, at, n, 0, 60);
}

inline bool passes_length(const field_rule& r, std::string_view f) {
    return f.size() >= r.min_length && (r.max_length == 0 || f.size() <= r.max_length);
}

// The unit letter of a transducer type that passed its check.
inline char unit_of(std::string_view type) {
    return transducer_units[transducer_types.find(type[0])];
}

// Judges a non-empty field by its kind alone. A template of the kind, inlined as judge is into
// each rule's instance: only the one check the field needs is compiled there, not a choice
// among all of them.
template <kind K>
[[gnu::always_inline]] inline bool passes_kind_of(const field_rule& r, std::string_view f,
                                                  std::string_view entry_head) {
    const std::size_t n = f.size();
    if constexpr (K == kind::any) return true;
    // The fixed digit positions of a time, a position and a date hold digits only: the range
    // checks alone would read "-0" as 0 and let "12-0-0" or "-012.5" through to the display.
    else if constexpr (K == kind::time)
        return n >= 6 && in_range(digits_at(f, 0, 2), 0, 23) && in_range(digits_at(f, 2, 2), 0, 59) &&
               in_range(digits_at(f, 4, 2), 0, 59) && below_sixty_with_decimals(f, 4);
    else if constexpr (K == kind::latitude)
        return n >= 4 && in_range(digits_at(f, 0, 2), 0, 89) && in_range(digits_at(f, 2, 2), 0, 59) &&
               below_sixty_with_decimals(f, 2);
    else if constexpr (K == kind::longitude)
        return n >= 5 && in_range(digits_at(f, 0, 3), 0, 179) && in_range(digits_at(f, 3, 2), 0, 59) &&
               below_sixty_with_decimals(f, 3);
    else if constexpr (K == kind::angle)
        return check_decimal_range(f, 0, n, 0, 360);
    else if constexpr (K == kind::unsigned_decimal)
        return check_decimal(f, 0, n, false);
    else if constexpr (K == kind::signed_decimal)
        return check_decimal(f, 0, n, true);
    else if constexpr (K == kind::date)
        return n == 6 && in_range(digits_at(f, 0, 2), 1, 31) && in_range(digits_at(f, 2, 2), 1, 12) &&
               digits_at(f, 4, 2) >= 0;
    else if constexpr (K == kind::one_of)
        return n == 1 && is_one_of(f[0], r.choices);
    else if constexpr (K == kind::characters_of)
        return n >= 1 && f.find_first_not_of(r.choices) == std::string_view::npos;
    else if constexpr (K == kind::digit)
        return n == 1 && f[0] >= '0' + r.lo && f[0] <= '0' + r.hi;
    else if constexpr (K == kind::integer)
        return check_int_range(f, 0, n, r.lo, r.hi);
    else if constexpr (K == kind::digits)
        return check_digits(f, 0, n, r.allow_minus);
    else if constexpr (K == kind::hex)
        return check_hex(f, 0, n);
    else if constexpr (K == kind::hex_integer) {
        std::int32_t value = 0;
        return check_hex(f, 0, n) && parse_hex(f, value) && value >= r.lo && value <= r.hi;
    } else if constexpr (K == kind::upper_alnum)
        return check_upper_alnum(f, 0, n);
    else if constexpr (K == kind::alnum)
        return check_alnum(f, 0, n);
    else if constexpr (K == kind::sixbit)
        return check_sixbit(f, n);
    else if constexpr (K == kind::navtex_code)
        return n == 4 && check_upper(f, 0, 2) && check_digits(f, 2, 4, true);
    // The kinds that follow the value of another field are made of the plain kinds.
    else if constexpr (K == kind::zone_hours)
        // The sign decides the width: "-05" but "05".
        return f[0] == '-' ? passes(integer(-13, 0).length(3), f) : passes(integer(0, 13).length(2), f);
    else if constexpr (K == kind::translation_code) {
        if (f == "A" || f == "U") return true;
        return f[0] == 'P' ? passes(upper_alnum().length(4), f) : passes(integer(1, 16).at_most(2), f);
    } else if constexpr (K == kind::transducer_measurement)
        return entry_head == "S" ? passes_kind_of<kind::digit>(digit(0, 1), f, {})
                                 : passes_kind_of<kind::signed_decimal>(signed_decimal(), f, {});
    else if constexpr (K == kind::transducer_unit) {
        // Without a type any unit that the types know will do.
        if (entry_head.empty()) return passes_kind_of<kind::one_of>(one_of("CDKMHSNPlRVA"), f, {});
        return n == 1 && f[0] == unit_of(entry_head);
    } else
        static_assert(K == kind::any, "a kind without a check");
}

// The same for a row known only at run time, as a hook's, outside any repeating group.
inline bool passes_kind(const field_rule& r, std::string_view f) {
    return [&]<std::size_t... K>(std::index_sequence<K...>) {
        bool passed = false;
        static_cast<void>(
            ((r.check == kind{K} && (passed = passes_kind_of<kind{K}>(r, f, {}), true)) || ...));
        return passed;
    }
    (std::make_index_sequence<kind_count>{});
}

// Why a field that failed its checks is rejected: most kinds are merely malformed, a few
// have a reason of their own.
inline rejection malformed_reason(kind k, std::string_view entry_head) {
    switch (k) {
        case kind::zone_hours:
            return rejection::zone_hours;
        case kind::translation_code:
            return rejection::translation_code;
        case kind::transducer_unit:
            return entry_head.empty() ? rejection::field_malformed : rejection::unit_mismatch;
        default:
            return rejection::field_malformed;
    }
}

// The value a field stores; false when it cannot be held in 32 bits, which no later field
// or queue key could use, so such a field is malformed.
inline bool value_of(const field_rule& r, std::string_view f, std::int32_t& value) {
    return r.check == kind::hex_integer ? parse_hex(f, value) : parse_int(f, value);
}

[[gnu::always_inline]] inline rejection record(const field_rule& r, rule_state& s, std::string_view f) {
    std::int32_t value = 0;
    if (!value_of(r, f, value)) return rejection::field_malformed;
    switch (r.target) {
        case store::none:
            break;
        case store::fragment_total:
            s.info.fragment_total = value;
            if (value != 1) s.flags |= multi_sentence;
            break;
        case store::fragment_number:
            s.info.fragment_number = value;
            if (value > s.info.fragment_total) return rejection::fragment_number_above_total;
            s.flags |= value == 1 ? first_sentence : later_sentence;
            break;
        case store::fragment_number_unchecked:
            s.info.fragment_number = value;
            s.flags |= value == 1 ? first_sentence : later_sentence;
            break;
        case store::sequence_id:
            s.info.sequence_id = value;
            break;
        case store::remembered:
            s.remembered = value;
            break;
    }
    return rejection::none;
}

// `previous` is the field before this one, which only a hook reads.
template <kind K>
[[gnu::always_inline]] inline rejection judge(const field_rule& r, rule_state& s, std::string_view f,
                                              std::string_view previous, flag_set own) {
    if (f.empty()) {
        if (r.required_when & s.flags) return rejection::field_required;
    } else {
        if (r.empty_when & s.flags) return rejection::field_must_be_empty;
        if (!passes_length(r, f) || !passes_kind_of<K>(r, f, s.entry_head))
            return malformed_reason(r.check, s.entry_head);
        if (r.target != store::none)
            if (const rejection stored = record(r, s, f); stored != rejection::none) return stored;
        s.flags |= own;
        if (f.size() == 1 && is_one_of(f[0], r.needs_when) && (s.flags & r.needs) != r.needs)
            return rejection::field_needs_fields;
    }
    if (const flag_set present = s.flags & r.together; present != 0 && present != r.together)
        return rejection::fields_not_together;
    if (r.hook == nullptr) return rejection::none;
    s.previous = previous;
    return r.hook(s, f);
}

inline bool fail(rejection reason, std::size_t position, nmea_rejection* why) {
    if (why != nullptr) *why = {reason, static_cast<int>(position)};
    return false;
}

// Fixed row `Row`, for data field Row + 1; false once the sentence has no more fields or the
// field failed, which `failed` and `position` then tell apart.
template <const auto& Family, std::size_t Index, std::size_t Row>
[[gnu::always_inline]] inline bool judge_row(const sentence_fields& fields, rule_state& state,
                                             std::string_view& previous, rejection& failed,
                                             std::size_t& position) {
    constexpr std::size_t at = Row + 1;
    if (at > fields.size()) return false;
    constexpr field_rule row = Family[Index].fields[Row];
    constexpr flag_set own = at <= last_flagged_field ? field(static_cast<int>(at)) : 0;
    const std::string_view f = fields[at];
    failed = judge<row.check>(row, state, f, previous, own);
    if (failed != rejection::none) {
        position = at;
        return false;
    }
    previous = f;
    return true;
}

// Entry `K` of the repeating group, for data field `at`.
template <const auto& Family, std::size_t Index, std::size_t K>
[[gnu::always_inline]] inline bool judge_entry(const sentence_fields& fields, std::size_t at,
                                               rule_state& state, std::string_view& previous,
                                               rejection& failed, std::size_t& position) {
    if (at > fields.size()) return false;
    constexpr field_rule row = Family[Index].repeat[K];
    const std::string_view f = fields[at];
    if constexpr (K == 0) {
        state.flags &= ~entry_flags;
        state.entry_head = f;
    }
    failed = judge<row.check>(row, state, f, previous, entry(static_cast<int>(K) + 1));
    if (failed != rejection::none) {
        position = at;
        return false;
    }
    previous = f;
    return true;
}

// The verdict on a count that the current layout refuses, for an input that accepts every
// edition's layout: the first earlier layout the count fits decides, by its own finishing check.
inline rejection judge_earlier_layouts(const sentence_rule& rule, rejection refused, std::size_t count,
                                       rule_state& state) {
    for (const earlier_layout& layout : rule.earlier_layouts) {
        if (layout.minimum == 0) break;
        if (!layout.fits(count)) continue;
        const rejection verdict = layout.finish != nullptr ? layout.finish(state) : rejection::none;
        state.info.earlier_layout = verdict == rejection::none;
        return verdict;
    }
    return refused;
}

}  // namespace interpreter_detail

// Judges the data fields by rule `Index` of the rule family `Family`; on a failure `why`, when
// given, receives the reason and the field number.
template <const auto& Family, std::size_t Index>
bool run_compiled(const sentence_fields& line_fields, nmea_sentence_info& info, nmea_rejection* why,
                  nmea_editions editions) {
    using namespace interpreter_detail;
    constexpr const sentence_rule& rule = Family[Index];
    constexpr std::size_t fixed = rule.fields.size();
    constexpr std::size_t group = rule.repeat.size();
    // A copy of its own, which the hooks cannot reach: the checks keep it in registers.
    const sentence_fields fields = line_fields;
    const std::size_t count = fields.size();
    rule_state state{info};
    std::string_view previous;
    rejection failed = rejection::none;
    std::size_t position = 0;
    [&]<std::size_t... Row>(std::index_sequence<Row...>) {
        static_cast<void>((judge_row<Family, Index, Row>(fields, state, previous, failed, position) && ...));
    }
    (std::make_index_sequence<fixed>{});
    if (failed != rejection::none) return fail(failed, position, why);
    if constexpr (group != 0) {
        const auto judge_repetition = [&]<std::size_t... K>(std::size_t start, std::index_sequence<K...>) {
            return (judge_entry<Family, Index, K>(fields, start + K, state, previous, failed, position) &&
                    ...);
        };
        for (std::size_t start = fixed + 1; start <= count; start += group)
            if (!judge_repetition(start, std::make_index_sequence<group>{})) break;
        if (failed != rejection::none) return fail(failed, position, why);
    }
    // Past the rows, fields without a group of their own are only counted; the last one is
    // still what a finishing check reads.
    state.previous = count != 0 ? fields[count] : std::string_view{};

    rejection verdict = rejection::none;
    if (count < rule.minimum)
        verdict = rejection::too_few_fields;
    else if (rule.group != 0 && (count - rule.minimum) % rule.group != 0)
        verdict = rejection::field_count_not_in_groups;
    else if (rule.finish != nullptr)
        verdict = rule.finish(state);
    if constexpr (rule.earlier_layouts[0].minimum != 0)
        if ((verdict == rejection::too_few_fields || verdict == rejection::field_count_not_in_groups) &&
            editions == nmea_editions::all) [[unlikely]]
            verdict = judge_earlier_layouts(rule, verdict, count, state);
    if (verdict != rejection::none && why != nullptr)
        *why = {verdict, 0, static_cast<int>(count), rule.minimum, rule.group};
    return verdict == rejection::none;
}

}  // namespace vorlane::rules
