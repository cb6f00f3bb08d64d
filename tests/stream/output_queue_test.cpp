#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "stream/nmea_manager.h"
#include "tests/stream/stream_test_support.h"
#include "validation/nmea_tables.h"

namespace vorlane {
namespace {

using test::drain;

constexpr std::int32_t talker_gp = talker_index_of("GP");
constexpr std::int32_t talker_gn = talker_index_of("GN");
constexpr std::int32_t talker_ai = talker_index_of("AI");
constexpr std::int32_t talker_ra = talker_index_of("RA");
constexpr std::uint32_t formatter_gga = formatter_index_of("GGA");
constexpr std::uint32_t formatter_txt = formatter_index_of("TXT");
constexpr std::uint32_t formatter_ttm = formatter_index_of("TTM");
constexpr std::uint32_t formatter_vdm = formatter_index_of("VDM");
constexpr std::uint32_t formatter_vdo = formatter_index_of("VDO");

// The record the decoder builds for an accepted sentence; the text gets its CR LF here.
nmea_message_out message(std::uint32_t formatter, std::int32_t talker, const std::string& sentence,
                         std::int32_t sequence_id = -1,
                         std::initializer_list<std::int32_t> destinations = {0}) {
    nmea_message_out m;
    m.info.formatter_index = formatter;
    m.info.talker_index = talker;
    m.info.sequence_id = sequence_id;
    const std::string text = sentence + "\r\n";
    std::memcpy(m.text, text.c_str(), std::min(text.size() + 1, sizeof m.text));
    m.source = 0;
    for (const std::int32_t d : destinations) m.destinations.add(d);
    return m;
}

std::vector<std::string> lines(std::initializer_list<std::string> sentences) {
    std::vector<std::string> out;
    for (const std::string& s : sentences) out.push_back(s + "\r\n");
    return out;
}

// A sentence-like text of exactly `length` characters once CR LF is added.
std::string text_of_length(std::size_t length, char fill = 'x') {
    return "$" + std::string(length - 3, fill);
}

// Every formatter index the validator can produce: a second sentence of the same kind from the
// same talker either takes the waiting one's place or queues behind the other talker's.
class ReplaceInPlace : public testing::TestWithParam<std::uint32_t> {};

TEST_P(ReplaceInPlace, OnlyReplaceableFormattersOverwriteTheWaitingSentence) {
    const std::uint32_t formatter = GetParam();
    auto manager = test::make_manager();
    manager->queue_sentence(message(formatter, talker_gp, "$GPold"));
    manager->queue_sentence(message(formatter, talker_gn, "$GNother"));
    manager->queue_sentence(message(formatter, talker_gp, "$GPnew"));
    const std::vector<std::uint32_t> replaceable{20, 23, 26, 31, 33, 34, 35, 36, 37, 38, 39,
                                                 41, 42, 43, 58, 59, 60, 64, 67, 68, 69, 70,
                                                 71, 73, 74, 79, 89, 92, 94, 95, 98, 99, 106};
    const bool replaces = std::find(replaceable.begin(), replaceable.end(), formatter) != replaceable.end();
    EXPECT_EQ(nmea_manager::is_replaceable_formatter(formatter), replaces);
    if (replaces)
        EXPECT_EQ(drain(*manager, 0), lines({"$GPnew", "$GNother"}));
    else
        EXPECT_EQ(drain(*manager, 0), lines({"$GPold", "$GNother", "$GPnew"}));
}

std::vector<std::uint32_t> every_formatter_index() {
    std::vector<std::uint32_t> indexes{FORMATTER_UNLISTED, FORMATTER_QUERY, FORMATTER_PROPRIETARY,
                                       formatter_count + 1};
    for (std::uint32_t i = 1; i <= formatter_count; ++i) indexes.push_back(i);
    return indexes;
}

INSTANTIATE_TEST_SUITE_P(AllFormatters, ReplaceInPlace, testing::ValuesIn(every_formatter_index()),
                         [](const testing::TestParamInfo<std::uint32_t>& row) {
                             if (row.param == FORMATTER_UNLISTED) return std::string("unlisted");
                             if (row.param == FORMATTER_QUERY) return std::string("query");
                             if (row.param == FORMATTER_PROPRIETARY) return std::string("proprietary");
                             if (row.param > formatter_count) return std::string("beyond_the_table");
                             return std::to_string(row.param) + "_" + std::string(formatter_name(row.param));
                         });

TEST(ReplaceInPlace, UnlistedTalkersShareOneKey) {
    auto manager = test::make_manager();
    manager->queue_sentence(message(formatter_gga, TALKER_UNLISTED, "$XXGGA,1"));
    manager->queue_sentence(message(formatter_gga, TALKER_UNLISTED, "$YYGGA,2"));
    EXPECT_EQ(drain(*manager, 0), lines({"$YYGGA,2"}));
}

TEST(ReplaceInPlace, EachOutputReplacesOnItsOwn) {
    auto manager = test::make_manager();
    manager->queue_sentence(message(formatter_gga, talker_gp, "$GPGGA,1", -1, {0}));
    manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT,1", -1, {0, 1, 0}));
    manager->queue_sentence(message(formatter_gga, talker_gp, "$GPGGA,2", -1, {0, 1}));
    manager->queue_sentence(message(formatter_gga, talker_gp, "$GPGGA,9", -1, {2, -1}));
    EXPECT_EQ(drain(*manager, 0), lines({"$GPGGA,2", "$GPTXT,1"}));
    EXPECT_EQ(drain(*manager, 1), lines({"$GPTXT,1", "$GPGGA,2"}));
}

struct keyed_case {
    const char* name;
    std::uint32_t formatter;
    std::string older;
    std::int32_t older_sequence;
    std::string newer;
    std::int32_t newer_sequence;
    bool replaces;
};

// Names the row instead of dumping its bytes.
void PrintTo(const keyed_case& c, std::ostream* os) {
    *os << c.name;
}

// TTM, VDM and VDO are replaced only under the key cut from their text.
class KeyedReplacement : public testing::TestWithParam<keyed_case> {};

TEST_P(KeyedReplacement, ReplacesOnlyUnderTheSameKey) {
    const keyed_case& c = GetParam();
    const std::int32_t talker = c.formatter == formatter_ttm ? talker_ra : talker_ai;
    auto manager = test::make_manager();
    manager->queue_sentence(message(c.formatter, talker, c.older, c.older_sequence));
    manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT,between"));
    manager->queue_sentence(message(c.formatter, talker, c.newer, c.newer_sequence));
    if (c.replaces)
        EXPECT_EQ(drain(*manager, 0), lines({c.newer, "$GPTXT,between"}));
    else
        EXPECT_EQ(drain(*manager, 0), lines({c.older, "$GPTXT,between", c.newer}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyedReplacement,
    testing::Values(keyed_case{"ttm_same_target", formatter_ttm, "$RATTM,01,1.5,090.0,T", -1,
                               "$RATTM,01,1.4,091.0,T", -1, true},
                    keyed_case{"ttm_other_target", formatter_ttm, "$RATTM,01,1.5,090.0,T", -1,
                               "$RATTM,02,1.5,090.0,T", -1, false},
                    keyed_case{"ttm_comma_after_target_is_key", formatter_ttm, "$RATTM,01,1.5", -1,
                               "$RATTM,010,1.5", -1, false},
                    keyed_case{"ttm_too_short_for_key", formatter_ttm, "$RATTM,0", -1, "$RATTM,0", -1, false},
                    keyed_case{"vdm_same_sender", formatter_vdm,
                               "!AIVDM,1,1,,A,13aG?P0P00PD;88MD5MTDww@2D7k,0*46", -1,
                               "!AIVDM,1,1,,A,13aG?P0P00PD;88MD5MTDww@2D7k,0*46", -1, true},
                    keyed_case{"vdm_key_ends_at_20", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00", -1,
                               "!AIVDM,1,1,,A,13aG?P0Q00", -1, true},
                    keyed_case{"vdm_key_includes_20", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00", -1,
                               "!AIVDM,1,1,,A,13aG?PXP00", -1, false},
                    keyed_case{"vdm_key_starts_at_7", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00", -1,
                               "!AIVDM,2,1,,A,13aG?P0P00", -1, false},
                    keyed_case{"vdm_other_channel", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00", -1,
                               "!AIVDM,1,1,,B,13aG?P0P00", -1, false},
                    keyed_case{"vdm_other_sender", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00", -1,
                               "!AIVDM,1,1,,A,13aG?Q0P00", -1, false},
                    keyed_case{"vdm_sequence_key_includes_21", formatter_vdm, "!AIVDM,2,1,3,A,55NB@P0P00", 3,
                               "!AIVDM,2,1,3,A,55NB@PXP00", 3, false},
                    keyed_case{"vdm_sequence_key_ends_at_21", formatter_vdm, "!AIVDM,2,1,3,A,55NB@P0P00", 3,
                               "!AIVDM,2,1,3,A,55NB@P0X00", 3, true},
                    keyed_case{"vdm_sequence_never_replaces_empty", formatter_vdm, "!AIVDM,1,1,,A,13aG?P0P00",
                               -1, "!AIVDM,1,1,3,A,13aG?P0P00", 3, false},
                    keyed_case{"vdm_empty_never_replaces_sequence", formatter_vdm,
                               "!AIVDM,1,1,3,A,13aG?P0P00", 3, "!AIVDM,1,1,,A,13aG?P0P00", -1, false},
                    // 19 characters and CR LF: 21 in all, one too few for the key.
                    keyed_case{"vdm_of_21_characters_never_matches", formatter_vdm, "!AIVDM,1,1,,A,13aG?", -1,
                               "!AIVDM,1,1,,A,13aG?", -1, false},
                    keyed_case{"vdm_of_22_characters_matches", formatter_vdm, "!AIVDM,1,1,,A,13aG?P", -1,
                               "!AIVDM,1,1,,A,13aG?P", -1, true},
                    keyed_case{"vdo_same_sender", formatter_vdo, "!AIVDO,1,1,,,13aG?P0P00", -1,
                               "!AIVDO,1,1,,,13aG?P0P00XY", -1, true}),
    [](const testing::TestParamInfo<keyed_case>& row) { return row.param.name; });

TEST(KeyedReplacement, VdmAndVdoAndTalkersAreSeparateKinds) {
    auto manager = test::make_manager();
    const std::string vdm = "!AIVDM,1,1,,A,13aG?P0P00";
    manager->queue_sentence(message(formatter_vdm, talker_ai, vdm));
    manager->queue_sentence(message(formatter_vdo, talker_ai, vdm));
    manager->queue_sentence(message(formatter_vdm, talker_index_of("BI"), vdm));
    EXPECT_EQ(drain(*manager, 0).size(), 3u);
}

TEST(KeyChars, ComparesOnlyTextsLongerThanTheKey) {
    struct row {
        const char* a;
        const char* b;
        std::int32_t from;
        std::int32_t to;
        bool equal;
    };
    for (const row& r : {
             row{"0123456789", "0123456789", 2, 5, true},
             row{"0123456789", "01234567", 2, 5, true},
             row{"01x3456789", "0123456789", 2, 5, false},  // differs at from
             row{"0123x56789", "0123456789", 2, 5, false},  // differs at to - 1
             row{"0x23456789", "0123456789", 2, 5, true},   // differs before from
             row{"01234x6789", "0123456789", 2, 5, true},   // differs at to
             row{"01234", "01234", 2, 5, false},            // not longer than to
             row{"012345", "01234", 2, 5, false},
             row{"0123456789", nullptr, 2, 5, false},
             row{nullptr, "0123456789", 2, 5, false},
             row{"0123456789", "0123456789", 5, 5, false},
             row{"0123456789", "0123456789", 6, 5, false},
             row{"0123456789", "0123456789", -1, 5, false},
         })
        EXPECT_EQ(nmea_manager::key_chars_equal(r.a, r.b, r.from, r.to), r.equal)
            << (r.a ? r.a : "null") << " / " << (r.b ? r.b : "null") << " [" << r.from << ", " << r.to << ")";
}

class FullQueue : public testing::Test {
  protected:
    // 1023 waiting sentences: TXT except for one GPGGA at `gga_at`.
    void SetUp() override {
        for (int i = 0; i < 1023; ++i) {
            if (i == gga_at)
                manager->queue_sentence(message(formatter_gga, talker_gp, "$GPGGA,old"));
            else
                manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT," + std::to_string(i)));
        }
    }

    static constexpr int gga_at = 500;
    std::unique_ptr<nmea_manager> manager = test::make_manager();
};

TEST_F(FullQueue, DropsANewSentence) {
    manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT,dropped"));
    manager->queue_sentence(message(formatter_gga, talker_gn, "$GNGGA,dropped"));
    const std::vector<std::string> out = drain(*manager, 0);
    ASSERT_EQ(out.size(), 1023u);
    EXPECT_EQ(out.front(), "$GPTXT,0\r\n");
    EXPECT_EQ(out.back(), "$GPTXT,1022\r\n");
}

TEST_F(FullQueue, ReplacesAWaitingSentenceInPlace) {
    manager->queue_sentence(message(formatter_gga, talker_gp, "$GPGGA,new"));
    const std::vector<std::string> out = drain(*manager, 0);
    ASSERT_EQ(out.size(), 1023u);
    EXPECT_EQ(out[gga_at], "$GPGGA,new\r\n");
    EXPECT_EQ(out[gga_at + 1], "$GPTXT,501\r\n");
}

TEST_F(FullQueue, TakesANewSentenceOnceASlotIsFree) {
    std::string batch(100, '\0');
    std::int32_t capacity = 100;
    ASSERT_TRUE(manager->take_output(0, batch.data(), capacity));
    manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT,late"));
    EXPECT_EQ(drain(*manager, 0).back(), "$GPTXT,late\r\n");
}

// A full queue of AIS senders, each with one waiting report, partly taken and filled again
// across the end of the ring: every newer report still takes its own sender's place.
TEST(FullQueueOfKeys, EveryKeyFindsItsSlotAcrossTheEndOfTheRing) {
    auto manager = test::make_manager();
    // The sender number lies in the key's armoured characters, the version just behind the key.
    const auto report = [](int sender, char version) {
        std::string number = std::to_string(sender);
        return "!AIVDM,1,1,,A,1" + std::string(6 - number.size(), '0') + number + version + ",0*00";
    };
    for (int sender = 0; sender < 1023; ++sender)
        manager->queue_sentence(message(formatter_vdm, talker_ai, report(sender, 'a')));
    const std::size_t line_length = report(0, 'a').size() + 2;
    std::string batch(300 * line_length + 1, '\0');
    auto capacity = static_cast<std::int32_t>(batch.size());
    ASSERT_TRUE(manager->take_output(0, batch.data(), capacity));
    ASSERT_EQ(static_cast<std::size_t>(capacity), 300 * line_length);
    for (int sender = 1023; sender < 1323; ++sender)
        manager->queue_sentence(message(formatter_vdm, talker_ai, report(sender, 'a')));
    for (int sender = 300; sender < 1323; ++sender)
        manager->queue_sentence(message(formatter_vdm, talker_ai, report(sender, 'b')));
    const std::vector<std::string> out = drain(*manager, 0);
    ASSERT_EQ(out.size(), 1023u);
    for (std::size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], report(300 + static_cast<int>(i), 'b') + "\r\n");
    EXPECT_EQ(manager->statistics().input(0).dropped[static_cast<std::size_t>(stream_drop::queue_full)], 0u);
}

// AIS keys that an attacker made to fall on one chain of the index under the hash it had before
// it was keyed: FNV-1a over the kind and the key, chained by its high bits after a multiply. Under
// a key the attacker does not know they spread as any keys do.
TEST(ReplacementChains, KeysMadeToCollideWithoutTheHashKeySpreadUnderIt) {
    const auto unkeyed_chain = [](const std::string& key) {
        std::uint64_t h = 0xcbf29ce484222325ULL;
        const auto mix = [&h](std::uint64_t value) { h = (h ^ value) * 0x100000001b3ULL; };
        mix(formatter_index_of("VDM"));
        mix(0);
        mix(0);
        for (const char c : key) mix(static_cast<unsigned char>(c));
        return (h * 0x9e3779b97f4a7c15ULL) >> (64 - replacement_index<queue_slot_count>::chain_bits);
    };
    constexpr std::string_view sixbit = "0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVW`abcdefghijklmnopqrstuvw";
    std::vector<std::string> colliding;
    for (std::uint32_t n = 0; colliding.size() < 200; ++n) {
        std::string key = "1,1,,A,1";
        for (std::uint32_t rest = n, k = 0; k < 6; ++k, rest /= sixbit.size())
            key += sixbit[rest % sixbit.size()];
        if (unkeyed_chain(key) == 0) colliding.push_back(key);
    }
    const keyed_hash hash = keyed_hash::with_random_key();
    std::vector<int> on_chain(std::size_t{1} << replacement_index<queue_slot_count>::chain_bits);
    for (const std::string& key : colliding)
        ++on_chain[replacement_index<queue_slot_count>::chain_of(
            hash(formatter_index_of("VDM"), reinterpret_cast<const unsigned char*>(key.data()), key.size()))];
    // 200 keys on 2,048 chains: more than 6 on one happens by chance less than once in 10^7 runs.
    EXPECT_LE(*std::max_element(on_chain.begin(), on_chain.end()), 6);
}

TEST(ReplacementChains, AWalkEndsAfterItsBound) {
    replacement_index<64> index;
    for (std::size_t slot = 0; slot < 40; ++slot) index.add(slot, 7);
    const auto is = [](std::size_t wanted) { return [wanted](std::size_t slot) { return slot == wanted; }; };
    constexpr auto last_walked = static_cast<std::size_t>(replacement_index<64>::max_walk - 1);
    EXPECT_EQ(index.find(7, is(last_walked)), last_walked);
    EXPECT_EQ(index.find(7, is(last_walked + 1)), replacement_index<64>::no_slot);
}

TEST(OutputQueue, KeepsOrderAndCapacityAcrossTheEndOfTheRing) {
    auto manager = test::make_manager();
    int next = 0;
    for (int round = 0; round < 3; ++round) {
        const int first = next;
        for (int i = 0; i < 1500; ++i)
            manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT," + std::to_string(next++)));
        const std::vector<std::string> out = drain(*manager, 0);
        ASSERT_EQ(out.size(), 1023u) << "round " << round;
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_EQ(out[i], "$GPTXT," + std::to_string(first + static_cast<int>(i)) + "\r\n");
        EXPECT_FALSE(manager->has_output(0));
    }
}

TEST(OutputQueue, RefusesTextsNoBatchCouldCarry) {
    auto manager = test::make_manager();
    nmea_message_out empty;
    empty.destinations.add(0);
    manager->queue_sentence(empty);
    nmea_message_out unterminated = message(formatter_txt, talker_gp, "$GPTXT");
    std::memset(unterminated.text, 'x', sizeof unterminated.text);
    manager->queue_sentence(unterminated);
    manager->queue_sentence(message(formatter_txt, talker_gp, text_of_length(83)));
    EXPECT_FALSE(manager->has_output(0));
}

TEST(OutputQueue, OutputNumbersOutsideZeroAndOne) {
    auto manager = test::make_manager();
    manager->queue_sentence(message(formatter_txt, talker_gp, "$GPTXT,1", -1, {0, 1}));
    char batch[200];
    for (const std::int32_t output : {-1, 2}) {
        std::int32_t capacity = sizeof batch;
        EXPECT_FALSE(manager->has_output(output));
        EXPECT_FALSE(manager->take_output(output, batch, capacity));
    }
    EXPECT_TRUE(manager->has_output(0));
    EXPECT_TRUE(manager->has_output(1));
}

TEST(TakeOutput, RefusesWithoutTouchingBufferOrCapacity) {
    auto manager = test::make_manager();
    std::string batch(200, '#');
    std::int32_t capacity = 200;
    EXPECT_FALSE(manager->take_output(0, batch.data(), capacity)) << "empty queue";
    manager->queue_sentence(message(formatter_txt, talker_gp, text_of_length(82)));
    EXPECT_FALSE(manager->take_output(0, nullptr, capacity));
    capacity = 82;
    EXPECT_FALSE(manager->take_output(0, batch.data(), capacity));
    EXPECT_EQ(capacity, 82);
    EXPECT_EQ(batch, std::string(200, '#'));
    EXPECT_TRUE(manager->has_output(0));
}

struct batch_case {
    const char* name;
    std::vector<std::size_t> lengths;  // of the waiting sentences, CR LF included
    std::int32_t capacity;
    std::vector<std::size_t> batches;  // sentences per call until the queue is empty
};

// Names the row instead of dumping its bytes.
void PrintTo(const batch_case& c, std::ostream* os) {
    *os << c.name;
}

class TakeOutputBatches : public testing::TestWithParam<batch_case> {};

TEST_P(TakeOutputBatches, TakesWholeSentencesBelowTheCapacity) {
    const batch_case& c = GetParam();
    auto manager = test::make_manager();
    std::vector<std::string> waiting;
    for (std::size_t i = 0; i < c.lengths.size(); ++i) {
        waiting.push_back(text_of_length(c.lengths[i], static_cast<char>('a' + i % 26)) + "\r\n");
        manager->queue_sentence(
            message(formatter_txt, talker_gp, waiting.back().substr(0, c.lengths[i] - 2)));
    }
    const std::size_t size = static_cast<std::size_t>(c.capacity);
    std::size_t next = 0;
    for (const std::size_t count : c.batches) {
        std::string batch(size + 1, '#');
        std::int32_t capacity = c.capacity;
        ASSERT_TRUE(manager->take_output(0, batch.data(), capacity));
        std::string expected;
        for (std::size_t i = 0; i < count; ++i) expected += waiting[next++];
        EXPECT_EQ(batch.substr(0, static_cast<std::size_t>(capacity)), expected);
        EXPECT_EQ(batch[expected.size()], '\0') << "the batch ends in a NUL";
        EXPECT_EQ(batch.substr(expected.size() + 1), std::string(size - expected.size(), '#'))
            << "nothing is written past the NUL";
    }
    EXPECT_FALSE(manager->has_output(0));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TakeOutputBatches,
    testing::Values(batch_case{"longest_sentence_in_83", {82, 82}, 83, {1, 1}},
                    batch_case{"sixty_then_fifty_in_100", {60, 50}, 100, {1, 1}},
                    batch_case{"exact_fit_leaves_room_for_the_nul", {60, 60}, 121, {2}},
                    batch_case{"one_byte_short", {60, 60}, 120, {1, 1}},
                    batch_case{"service_batch_of_4800", std::vector<std::size_t>(70, 82), 4800, {58, 12}},
                    batch_case{"mixed_lengths", {10, 82, 30, 82, 40}, 130, {3, 2}}),
    [](const testing::TestParamInfo<batch_case>& row) { return row.param.name; });

// A sentence is served for max_sentence_age after it was queued and dropped after that; a
// replacement starts its wait afresh. Times in milliseconds after the first sentence.
struct age_case {
    const char* name;
    int replaced_at;  // -1: not replaced
    int taken_at;
    bool served;
};

void PrintTo(const age_case& c, std::ostream* os) {
    *os << c.name;
}

class SentenceAge : public testing::TestWithParam<age_case> {};

TEST_P(SentenceAge, StaleSentencesAreDroppedWhenABatchIsFormed) {
    const age_case& c = GetParam();
    const queue_clock::time_point start{std::chrono::hours(1)};
    const auto at = [&](int ms) { return start + std::chrono::milliseconds(ms); };
    auto manager = test::make_manager();
    const std::string gga = "$GPGGA,125110,3854.5087,N,07726.4523,W,1,10,2.0,268.8,M,-33.9,M,,*7A";
    const std::string txt = "$GPTXT,01,01,02,after*00";
    manager->set_time(at(0));
    manager->queue_sentence(message(formatter_gga, talker_gp, gga));
    if (c.replaced_at >= 0) {
        manager->set_time(at(c.replaced_at));
        manager->queue_sentence(message(formatter_gga, talker_gp, gga));
    }
    manager->set_time(at(c.taken_at));
    manager->queue_sentence(message(formatter_txt, talker_gp, txt));
    EXPECT_EQ(drain(*manager, 0), c.served ? lines({gga, txt}) : lines({txt}));
    EXPECT_FALSE(manager->has_output(0));
}

INSTANTIATE_TEST_SUITE_P(Cases, SentenceAge,
                         testing::Values(age_case{"taken_at_once", -1, 0, true},
                                         age_case{"taken_after_exactly_five_seconds", -1, 5000, true},
                                         age_case{"taken_just_after_five_seconds", -1, 5001, false},
                                         age_case{"taken_after_an_hour_long_outage", -1, 3600000, false},
                                         age_case{"replaced_in_place_keeps_it_fresh", 4000, 8000, true},
                                         age_case{"replaced_but_stale_again", 4000, 9001, false}),
                         [](const testing::TestParamInfo<age_case>& row) { return row.param.name; });

}  // namespace
}  // namespace vorlane
