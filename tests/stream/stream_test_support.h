#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "stream/nmea_manager.h"
#include "stream/output_datagrams.h"
#include "tests/support/nmea_text.h"

namespace vorlane::test {

// The 8 header bytes that the manager must skip unread. They spell a complete proprietary
// sentence that the validator accepts, so a manager that reads them shows up in the output.
inline const std::string datagram_header = with_checksum("$PABC");

inline std::string datagram(std::string_view text) {
    return datagram_header + std::string(text);
}

// Hands `payload` to the manager the way the controller does, with a NUL behind it.
inline void feed(nmea_manager& manager, std::int32_t input, std::string payload, bool checksum_bad = false) {
    const auto length = static_cast<std::int32_t>(payload.size());
    payload.push_back('\0');
    manager.process_datagram(input, input, reinterpret_cast<std::uint8_t*>(payload.data()), length,
                             checksum_bad);
}

// Every line the output has waiting, CR LF included, in the order it sends them.
inline std::vector<std::string> drain(nmea_manager& manager, std::int32_t output) {
    std::vector<std::string> lines;
    std::string batch(4801, '\0');
    std::int32_t capacity = 4800;
    while (manager.take_output(output, batch.data(), capacity)) {
        std::string_view taken(batch.data(), static_cast<std::size_t>(capacity));
        for (std::size_t end; (end = taken.find("\r\n")) != std::string_view::npos;
             taken.remove_prefix(end + 2))
            lines.emplace_back(taken.substr(0, end + 2));
        if (!taken.empty()) lines.emplace_back(taken);  // a cut sentence, for the test to see
        capacity = 4800;
    }
    return lines;
}

// The two lines of an AIS message, a group when sent with g:.
inline const std::string vdm_1 =
    with_checksum("!AIVDM,2,1,7,A,53aGulD0000000c7?0918Tq<E>0<Q8U=@Tp400155P:22uG`002ShTj0,0");
inline const std::string vdm_2 = with_checksum("!AIVDM,2,2,7,A,EQC`4Sm51A0C@08,2");

struct packed_batches {
    std::vector<std::string> datagrams;
    std::string batches;  // what a TCP client would have got
};

// Takes every waiting batch of output 0 and cuts it into datagrams as the output service does.
inline packed_batches take_datagrams(nmea_manager& manager, datagram_packer& packer) {
    packed_batches out;
    batch_lines lines;
    std::string batch(batch_capacity + 1, '\0');
    std::int32_t length = batch_capacity;
    while (manager.take_output(0, batch.data(), length, &lines)) {
        const std::string_view taken(batch.data(), static_cast<std::size_t>(length));
        out.batches += taken;
        packer.start(taken, lines);
        for (std::string_view datagram; packer.next_datagram(datagram);) out.datagrams.emplace_back(datagram);
        length = batch_capacity;
    }
    return out;
}

inline std::unique_ptr<nmea_manager> make_manager() {
    return std::make_unique<nmea_manager>();
}

}  // namespace vorlane::test
