#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/junction_boxes.h"

namespace vorlane {

using ethernet_address = std::array<std::uint8_t, 6>;
// Where the source address stands in an Ethernet frame.
inline constexpr std::size_t ethernet_source_offset = 6;

// "02:00:5e:10:00:01" (colons or hyphens, either case). False, leaving `address` alone, for
// anything else.
bool parse_ethernet_address(std::string_view text, ethernet_address& address);
// "02:00:5e:10:00:01".
std::string text_of(const ethernet_address& address);

// A second Ethernet sender on a junction box's IP address, to be named to the operator.
struct sender_warning {
    // two_senders: no sender is confirmed yet, both are served and `box` is the one seen first;
    // other_sender: `box` is the confirmed or configured sender and `other`'s datagrams are dropped.
    enum class kind : std::uint8_t { two_senders, other_sender };
    kind what = kind::other_sender;
    ethernet_address box{};
    ethernet_address other{};  // the newest other address its IP address came from
};

// What is known of a junction box's sender now.
struct sender_view {
    // The configured or confirmed sender, else the one sending alone lately; none before any.
    std::optional<ethernet_address> sender;
    // `sender` was confirmed by sending alone, not configured.
    bool confirmed = false;
    // The newest other sender seen since the input opened.
    std::optional<ethernet_address> other;
};

// The Ethernet address each junction box sends from. Nothing in a datagram proves who sent it,
// and a junction box's IP address is easily used by any host on the ship's network; a host
// that does so keeps its own Ethernet address unless it goes to the trouble of copying the
// box's, and is then caught here.
//
// The box's address is configured, or else confirmed: the sender that has been the only one on
// the box's IP address for confirm_after. Being first proves nothing, since a host that sends
// one datagram before the box would otherwise become "the box" and have the real box dropped.
// Until a sender is confirmed no datagram is dropped; a second sender is reported, not obeyed.
// Once confirmed, a newcomer never displaces it. Main thread only; accept allocates nothing.
class sender_identity {
  public:
    // The operator hears of another sender, or of a configured one that is silent, at most this
    // often per junction box: an impostor at 50 datagrams a second must not flood the log.
    static constexpr std::chrono::seconds report_interval{60};
    // A junction box sends several datagrams a second, so a sender alone for this long is the
    // box; a host that shows itself once in that time keeps anyone from being confirmed.
    static constexpr std::chrono::seconds confirm_after{10};
    using clock = std::chrono::steady_clock;

    // The address the datagrams of `input` must come from, or none to confirm the sender seen.
    // Whatever was confirmed or seen of the input is forgotten.
    void configure(std::int32_t input, const std::optional<ethernet_address>& expected);
    // The input has (re)opened at `now`: confirmed addresses are forgotten, so that a replaced
    // junction box is taken at its new address.
    void open(clock::time_point now);
    // `source` is the frame's Ethernet source address (6 bytes), `input` 0 or 1 and `now` when
    // the frame came. False only for a sender other than the configured or confirmed one, whose
    // datagram is to be dropped.
    bool accept(std::int32_t input, const std::uint8_t* source, clock::time_point now);
    // True, once per report_interval at most, when a second sender was seen since the last
    // warning of this input.
    bool take_warning(std::int32_t input, clock::time_point now, sender_warning& warning);
    // True, once per opening, when the configured sender has sent nothing for report_interval
    // since the input opened.
    bool take_missing(std::int32_t input, clock::time_point now, ethernet_address& expected);
    // What the operator is shown to pin the box's address without typing it.
    sender_view seen(std::int32_t input) const;

  private:
    struct box {
        // Nothing confirmed or seen yet; the configured address, if any, is the sender.
        static box expecting(const std::optional<ethernet_address>& configured);

        std::optional<ethernet_address> configured;
        std::optional<ethernet_address> sender;
        // Before a sender is confirmed: the one that has sent alone since `alone_since`.
        std::optional<ethernet_address> alone;
        clock::time_point alone_since{};
        // The newest address other than the box's, or than the one before it while unconfirmed.
        std::optional<ethernet_address> other;
        bool heard = false;
        sender_warning unreported{};
        bool warning_due = false;
        std::optional<clock::time_point> last_warning;
        bool missing_reported = false;
    };

    std::array<box, junction_box_count> boxes{};
    clock::time_point opened_at{};
};

}  // namespace vorlane
