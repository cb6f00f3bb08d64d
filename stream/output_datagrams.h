#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "stream/nmea_manager.h"

namespace vorlane {

// The most UDP payload that leaves an Ethernet adapter in one frame, unfragmented: 1500 bytes
// less the IPv4 and UDP headers. A lost fragment would lose the whole datagram.
inline constexpr std::size_t max_datagram_payload = 1472;
// The system function ID a sender names itself by on an iec450 output: "VR0001".
inline constexpr std::size_t system_function_id_length = 6;

// How an output's batches go out as UDP datagrams.
enum class udp_format : std::uint8_t {
    // The lines as the output's TCP clients get them, nothing else.
    plain,
    // IEC 61162-450 as published: "UdPbC" and a NUL, then each sentence behind a TAG block of
    // its own naming the sender and counting its lines.
    iec450,
};

// "plain" and "iec450", as the settings file spells them.
const char* name_of(udp_format format);
// False, leaving `format` alone, for any other text.
bool parse_udp_format(std::string_view text, udp_format& format);
// Two capital letters (the talker) and four digits (the instance).
bool is_system_function_id(std::string_view text);

// What an output sent as UDP since start; a datagram the system did not take counts as failed.
struct udp_traffic {
    std::uint64_t datagrams = 0;
    std::uint64_t bytes = 0;
    std::uint64_t failed = 0;
};

// Cuts the batches of one output into datagrams of whole lines, the lines of a group together
// in one. On an iec450 output a line's own TAG blocks are left behind and the output writes its
// own: s: its system function ID, n: a count of the lines it sent, 1 to 999 and round again,
// and g: for the lines of a group. Nothing is allocated; one packer per output, as the counts
// are the output's.
class datagram_packer {
  public:
    // The line count starts again at 1. `sfi` is used by iec450 only and must be a system
    // function ID.
    void set_format(udp_format format, std::string_view sfi);

    // A batch taken with its lines marked; both must stay unchanged until next_datagram
    // answers false.
    void start(std::string_view batch, const batch_lines& lines);
    // The next datagram of the batch, valid until the next call; false once every line went
    // into one.
    bool next_datagram(std::string_view& datagram);

  private:
    // The line `index` of the batch, with its CR LF.
    std::string_view line_at(std::size_t index) const;
    // Appends lines [first, first + count) of a group of `group_size` lines (0: no group) that
    // begins at `group_first`; false, with the datagram as it was before, when they do not fit.
    bool append(std::size_t first, std::size_t count, std::size_t group_first, std::size_t group_size,
                std::uint32_t group_id);
    bool append_line(std::string_view line, const tag_fields& fields);
    std::size_t header_size() const;

    udp_format format = udp_format::plain;
    std::array<char, system_function_id_length> sfi{};
    // The next n: and g: identifier to write, 1 to 999.
    std::int64_t next_line_count = 1;
    std::uint32_t next_group_id = 1;
    std::string_view text;
    const batch_lines* marks = nullptr;
    std::size_t next_line = 0;
    // A group too large for any one datagram goes out over several, line by line, rather than
    // not at all: these name it while its lines are sent.
    std::size_t split_group_first = 0;
    std::size_t split_group_end = 0;
    std::uint32_t split_group_id = 0;
    std::array<char, max_datagram_payload> datagram{};
    std::size_t used = 0;
};

}  // namespace vorlane
