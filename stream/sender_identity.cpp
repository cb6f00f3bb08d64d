#include "stream/sender_identity.h"

#include <algorithm>

namespace vorlane {

namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool parse_ethernet_address(std::string_view text, ethernet_address& address) {
    constexpr std::size_t text_length = 17;
    if (text.size() != text_length) return false;
    ethernet_address read{};
    for (std::size_t k = 0; k < read.size(); ++k) {
        const std::size_t at = k * 3;
        const int high = hex_value(text[at]);
        const int low = hex_value(text[at + 1]);
        if (high < 0 || low < 0) return false;
        if (k > 0 && text[at - 1] != text[2]) return false;
        read[k] = static_cast<std::uint8_t>(high * 16 + low);
    }
    if (text[2] != ':' && text[2] != '-') return false;
    address = read;
    return true;
}

std::string text_of(const ethernet_address& address) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text;
    for (const std::uint8_t byte : address) {
        if (!text.empty()) text += ':';
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

sender_identity::box sender_identity::box::expecting(const std::optional<ethernet_address>& configured) {
    box fresh;
    fresh.configured = configured;
    fresh.sender = configured;
    return fresh;
}

void sender_identity::configure(std::int32_t input, const std::optional<ethernet_address>& expected) {
    boxes.at(static_cast<std::size_t>(input)) = box::expecting(expected);
}

void sender_identity::open(clock::time_point now) {
    opened_at = now;
    for (box& b : boxes) b = box::expecting(b.configured);
}

bool sender_identity::accept(std::int32_t input, const std::uint8_t* source, clock::time_point now) {
    box& b = boxes[static_cast<std::size_t>(input)];
    ethernet_address from{};
    std::copy_n(source, from.size(), from.begin());
    if (b.sender) {
        if (from == *b.sender) {
            b.heard = true;
            return true;
        }
        b.other = from;
        b.unreported = {sender_warning::kind::other_sender, *b.sender, from};
        b.warning_due = true;
        return false;
    }
    if (b.alone && from == *b.alone) {
        if (now - b.alone_since >= confirm_after) b.sender = from;
        return true;
    }
    if (b.alone) {
        b.other = *b.alone;
        b.unreported = {sender_warning::kind::two_senders, *b.alone, from};
        b.warning_due = true;
    }
    b.alone = from;
    b.alone_since = now;
    return true;
}

bool sender_identity::take_warning(std::int32_t input, clock::time_point now, sender_warning& warning) {
    box& b = boxes.at(static_cast<std::size_t>(input));
    if (!b.warning_due || (b.last_warning && now - *b.last_warning < report_interval)) return false;
    b.warning_due = false;
    b.last_warning = now;
    warning = b.unreported;
    return true;
}

sender_view sender_identity::seen(std::int32_t input) const {
    const box& b = boxes.at(static_cast<std::size_t>(input));
    return {b.sender ? b.sender : b.alone, b.sender.has_value() && !b.configured, b.other};
}

bool sender_identity::take_missing(std::int32_t input, clock::time_point now, ethernet_address& expected) {
    box& b = boxes.at(static_cast<std::size_t>(input));
    if (!b.configured || b.heard || b.missing_reported || now - opened_at < report_interval) return false;
    b.missing_reported = true;
    expected = *b.configured;
    return true;
}

}  // namespace vorlane
