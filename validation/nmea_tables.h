#pragma once

#include <cstdint>
#include <string_view>

namespace vorlane {

// The positions in these two strings are the talker and formatter indexes that travel with
// every sentence (and that the output queues key on), so their order is fixed, not sorted.
inline constexpr std::string_view talker_table =
    "?AG?AP?AI?BI?BN?CD?CR?CS?CT?CV?CX?DF?DU?EC?EI?EP?ER?FD?FE?FR?FS?GA?GP?GL?GN?HC?HE?HF?HN?HD?HS?II"
    "?IN?LC?NL?RA?RC?SD?SG?SN?SS?TI?UP?U0?U1?U2?U3?U4?U5?U6?U7?U8?U9?VD?VM?VW?VR?WD?WL?YX?ZA?ZC?ZQ?ZV"
    "?WI";

inline constexpr std::string_view formatter_table =
    "$??AAM$??ABK!??ABM$??ACA$??ACK$??ACS$??AIR$??AKD$??ALA$??ALR"
    "$??APB!??BBM$??BEC$??BOD$??BWC$??BWR$??BWW$??CBR$??CUR$??DBT"
    "$??DDC$??DOR$??DPT$??DSC$??DSE$??DTM$??ETL$??EVE$??FIR$??FSI"
    "$??GBS$??GEN$??GFA$??GGA$??GLL$??GNS$??GRS$??GSA$??GST$??GSV"
    "$??HBT$??HDG$??HDT$??HMR$??HMS$??HSC$??HSS$??HTC$??HTD$??LR1"
    "$??LR2$??LR3$??LRF$??LRI!??MEB$??MSK$??MSS$??MTW$??MWD$??MWV"
    "$??NAK$??NRM$??NRX$??OSD$??POS$??PRC$??RMA$??RMB$??RMC$??ROR"
    "$??ROT$??RPM$??RSA$??RSD$??RTE$??SFI$??SSD$??STN$??THS$??TLB"
    "$??TLL$??TRC$??TRD!??TTD$??TTM$??TUT$??TXT$??UID$??VBW!??VDM"
    "!??VDO$??VDR$??VER$??VHW$??VLW$??VPW$??VSD$??VTG$??WAT$??WCV"
    "$??WNC$??WPL$??XDR$??XTE$??XTR$??ZDA$??ZDL$??ZFO$??ZTG$??ACN"
    "$??ALC$??ALF$??ARC$??NSR";

inline constexpr std::size_t talker_entry_size = 3;
inline constexpr std::size_t formatter_entry_size = 6;
inline constexpr std::size_t talker_count = 65;
inline constexpr std::size_t formatter_count = 114;
static_assert(talker_table.size() == talker_count * talker_entry_size);
static_assert(formatter_table.size() == formatter_count * formatter_entry_size);

// 1-based index of the talker (two characters), 0 when not listed.
std::int32_t find_talker(std::string_view talker);
// 1-based index of the formatter (three characters) under its start character, 0 when not listed.
std::uint32_t find_formatter(char start, std::string_view formatter);

// Formatter index of a three-letter formatter as a compile-time constant, for tables that
// refer to formatters by name rather than by a bare number.
consteval std::uint32_t formatter_index_of(std::string_view name) {
    for (std::size_t i = 0; i < formatter_count; ++i)
        if (formatter_table.substr(i * formatter_entry_size + 3, 3) == name)
            return static_cast<std::uint32_t>(i + 1);
    throw "formatter not in formatter_table";
}
consteval std::int32_t talker_index_of(std::string_view name) {
    for (std::size_t i = 0; i < talker_count; ++i)
        if (talker_table.substr(i * talker_entry_size + 1, 2) == name)
            return static_cast<std::int32_t>(i + 1);
    throw "talker not in talker_table";
}

// The three formatter characters of a listed index (1..formatter_count).
constexpr std::string_view formatter_name(std::uint32_t index) {
    return formatter_table.substr((index - 1) * formatter_entry_size + 3, 3);
}

}  // namespace vorlane
