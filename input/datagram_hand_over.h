#pragma once

#include <string>

#include "capture/frame_ring.h"
#include "stream/lan_copies.h"
#include "stream/nmea_manager.h"
#include "stream/sender_identity.h"

namespace vorlane {

// Hands one frame taken from the ring at `now` to the stream manager, as the junction box's
// datagram on its input. A frame from the box's IP address but another Ethernet address than the
// box's configured or confirmed sender on the frame's LAN is not decoded: it is counted as
// dropped on the input ("other sender"). With two LANs, a header8 datagram that the other LAN
// brought first is not decoded either ("duplicate (other LAN)"). False, and nothing handed over or
// counted, for a frame from neither junction box or LAN, or without a payload. The gateway and the
// checker of capture files take this one path.
bool hand_over_datagram(nmea_manager& manager, lan_receivers& receivers, rx_datagram& datagram,
                        sender_identity::clock::time_point now);

// The operator's text of a second sender, `input` counted from 0 and `source_ip` its configured
// address: "Error QXE-122: junction box 1 (172.31.24.10): two senders, 02:00:00:00:00:10 and
// 02:00:00:00:00:66" before a sender is confirmed, "Error QXE-120: junction box 1 (172.31.24.10)
// also sent from 02:00:00:00:00:66; dropped (the box sends from 02:00:00:00:00:10)" after.
std::string sender_warning_text(int input, const std::string& source_ip, const sender_warning& warning);
// "Error QXE-121: junction box 1 (172.31.24.10) has sent nothing from 02:00:00:00:00:10 since the
// input opened".
std::string missing_sender_text(int input, const std::string& source_ip, const ethernet_address& expected);
// "Error QXE-123: junction box 1 (172.31.24.10): source GP0001 sent line count 17 twice with
// different sentences; both served".
std::string count_conflict_text(int input, const std::string& source_ip, const line_count_conflict& conflict);
// "Error QXE-130: output 1: RMC now from GP0002: GP0001 silent for 3 s", "Error QXE-131: output 1:
// RMC back to GP0001" or "Error QXE-132: output 1: RMC now from GP0001: listed before GP0002".
std::string source_switch_text(int output, const source_switch& change);

}  // namespace vorlane
