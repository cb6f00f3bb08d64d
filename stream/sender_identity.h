#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorlane {

using ethernet_address = std::array<std::uint8_t, 6>;
// Where the source address stands in an Ethernet frame.
inline constexpr std::size_t ethernet_source_offset = 6;

// "02:00:5e:10:00:01" (colons or hyphens, either case). False, leaving `address` alone, for
// anything else.
bool parse_ethernet_address(std::string_view text, ethernet_address& address);
// "02:00:5e:10:00:01".
std::string text_of(const ethernet_address& address);

// A sender that is not the junction box's, to be named to the operator.
struct sender_warning {
    ethernet_address box{};    // the address the junction box sends from
    ethernet_address other{};  // the newest other address its IP address came from
};

// The Ethernet address each junction box sends from. Nothing in a datagram proves who sent it,
// and a junction box's IP address is easily used by any host on the ship's network; a host
// that does so keeps its own Ethernet address unless it goes to the trouble of copying the
// box's, and is then caught here. The box's address is configured, or else the first one seen
// after the input opens. Main thread only; accept allocates nothing.
class sender_identity {
  public:
    static constexpr std::int32_t input_count = 2;
    // The operator hears of another sender, or of a configured one that is silent, at most this
    // often per junction box: an impostor at 50 datagrams a second must not flood the log.
    static constexpr std::chrono::seconds report_interval{60};
    using clock = std::chrono::steady_clock;

    // The address the datagrams of `input` must come from, or none to take the first sender
    // seen. Whatever was learned or seen of the input is forgotten.
    void configure(std::int32_t input, const std::optional<ethernet_address>& expected);
    // The input has (re)opened at `now`: learned addresses are forgotten, so that a replaced
    // junction box is taken at its new address.
    void open(clock::time_point now);
    // `source` is the frame's Ethernet source address (6 bytes) and `input` 0 or 1. True for the
    // junction box's sender, learning it when it is the first; false for any other, whose
    // datagram is to be dropped.
    bool accept(std::int32_t input, const std::uint8_t* source);
    // True, once per report_interval at most, when another sender was refused since the last
    // warning of this input.
    bool take_warning(std::int32_t input, clock::time_point now, sender_warning& warning);
    // True, once per opening, when the configured sender has sent nothing for report_interval
    // since the input opened.
    bool take_missing(std::int32_t input, clock::time_point now, ethernet_address& expected);

  private:
    struct box {
        // Nothing learned or seen yet; the configured address, if any, is the sender.
        static box expecting(const std::optional<ethernet_address>& configured);

        std::optional<ethernet_address> configured;
        std::optional<ethernet_address> sender;
        bool heard = false;
        ethernet_address other{};
        bool other_unreported = false;
        std::optional<clock::time_point> last_warning;
        bool missing_reported = false;
    };

    std::array<box, input_count> boxes{};
    clock::time_point opened_at{};
};

}  // namespace vorlane
