// vorlane-sim: sends IEC 61162-450 datagrams as the two VDR junction boxes would, for
// commissioning, demonstrations and tests. Each datagram is the 8-byte header followed by
// sentence lines ended by CR LF or, as standard senders do, the token "UdPbC" and a NUL followed
// by lines with a TAG block in front of each sentence; built by hand on a raw socket so that its
// UDP checksum is final even on the loopback adapter.
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "capture/frame_ring.h"
#include "stream/input_format.h"
#include "stream/nmea_manager.h"
#include "tools/raw_udp.h"
#include "tools/tag_writer.h"

namespace {

using namespace vorlane;

constexpr const char* usage =
    "usage: vorlane-sim [options]\n"
    "Sends the sentences of a file as IEC 61162-450 datagrams from both junction boxes.\n"
    "  --file PATH          sentences, one per line (default: sample-sentences.txt beside the\n"
    "                       program)\n"
    "  --rate N             sentences per second per junction box (default 20)\n"
    "  --sentences N        sentences per datagram at most (default 10)\n"
    "  --sources A,B        source addresses of junction box 1 and 2\n"
    "                       (default 127.0.0.10,127.0.0.11)\n"
    "  --destination IP     destination address (default 127.0.0.1)\n"
    "  --group IP           send to this multicast group (224.0.0.0 to 239.255.255.255, e.g.\n"
    "                       239.192.0.4) instead of --destination, with a time to live of 1\n"
    "  --interface NAME     the adapter the group's datagrams leave by (default: as routed)\n"
    "  --port N             destination UDP port (default 10021)\n"
    "  --format F           header8: the 8-byte header, then bare sentences (default);\n"
    "                       iec450: the token UdPbC and a NUL, then each sentence behind a TAG\n"
    "                       block with s: (the box's source), n: (its line count, 1 to 999 and\n"
    "                       round again) and c: (UNIX time in milliseconds)\n"
    "  --tag-sources A,B    the s: of junction box 1 and 2 (default GP0001,GP0002)\n"
    "  --groups-every N     with iec450, every Nth datagram of a box carries its sentences as\n"
    "                       one group (g:1-k-id to g:k-k-id; --sentences at most 99)\n"
    "  --boxes 1|2|both     which junction boxes send (default both)\n"
    "  --bad-udp-every N    every Nth datagram carries a wrong UDP checksum\n"
    "  --broken-every N     every Nth sentence gets a wrong NMEA checksum\n"
    "  --seconds S          stop after S seconds (default: until interrupted)\n"
    "  --pcap FILE          replay the UDP payloads of a capture (pcap or pcapng, Ethernet) sent to\n"
    "                       --port: its first two source addresses become junction box 1 and 2\n"
    "  --speed F            replay F times as fast as captured (default 1)\n"
    "                       with --pcap, --rate N sends N datagrams per second instead;\n"
    "                       the payloads go as captured, whatever their format\n"
    "Sending needs a raw socket: run as root or give the binary CAP_NET_RAW.\n";

// The 8-byte header of every header8 datagram; the gateway skips it unread.
constexpr char datagram_header[8] = {'U', 'd', 'P', 'b', 'C', 0, 0, 0};
// What the program sends when given no --file, looked for beside it.
constexpr const char* sample_file_name = "sample-sentences.txt";
// n: runs from 1 to max_line_count and round again, as the gateway expects. g: numbers the lines
// of a group with at most two digits (max_group_lines); its identifiers run round as n: does.
constexpr std::uint32_t max_group_id = 999;
// The largest payload whose packet crosses a 1500-byte MTU whole: the gateway drops larger ones.
constexpr std::size_t max_whole_payload = 1500 - 20 - 8;

volatile std::sig_atomic_t stop_requested = 0;
void on_signal(int) {
    stop_requested = 1;
}

struct options {
    std::string file;  // empty: the sample beside the program
    double rate = 20;
    int sentences_per_datagram = 10;
    std::string sources[2] = {"127.0.0.10", "127.0.0.11"};
    std::string destination = "127.0.0.1";
    bool group_given = false;
    std::string interface;
    int port = 10021;
    datagram_format format = datagram_format::header8;
    std::string tag_sources[2] = {"GP0001", "GP0002"};
    bool tags_given = false;
    long groups_every = 0;
    bool box_sends[2] = {true, true};
    long bad_udp_every = 0;
    long broken_every = 0;
    double seconds = 0;
    std::string pcap_file;
    double speed = 1;
    bool rate_given = false;
};

[[noreturn]] void fail_usage(const std::string& message) {
    std::fprintf(stderr, "vorlane-sim: %s\n%s", message.c_str(), usage);
    std::exit(2);
}

long number(const char* text, const char* option, long lo, long hi) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != 0 || value < lo || value > hi)
        fail_usage(std::string("bad value '") + text + "' for " + option);
    return value;
}

// "A,B" into the values of junction box 1 and 2.
void read_pair(const std::string& list, const std::string& option, std::string (&values)[2]) {
    const auto comma = list.find(',');
    if (comma == std::string::npos) fail_usage(option + " needs two values, A,B");
    values[0] = list.substr(0, comma);
    values[1] = list.substr(comma + 1);
}

bool is_multicast(const ipv4_address& address) {
    return address[0] >= 224 && address[0] <= 239;
}

// Options that contradict each other or the format are refused rather than half obeyed.
void check_combinations(const options& o, bool destination_given) {
    if (o.group_given && destination_given)
        fail_usage("--group and --destination name the same thing: give one");
    if (!o.interface.empty() && !o.group_given) fail_usage("--interface needs --group");
    const bool tagging = o.tags_given || o.groups_every > 0;
    if (!o.pcap_file.empty() && (tagging || o.format != datagram_format::header8))
        fail_usage(
            "--pcap sends the payloads as captured: --format, --tag-sources and --groups-every do not apply");
    if (tagging && o.format != datagram_format::iec450)
        fail_usage("--tag-sources and --groups-every need --format iec450");
    for (const std::string& source : o.tag_sources)
        if (!is_tag_identifier(source))
            fail_usage("'" + source + "' is not a source of 1 to 15 letters and digits");
    if (o.groups_every > 0 && static_cast<std::size_t>(o.sentences_per_datagram) > max_group_lines)
        fail_usage("--groups-every needs --sentences " + std::to_string(max_group_lines) + " or fewer");
}

options parse(int argc, char** argv) {
    options o;
    bool destination_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(usage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) fail_usage("missing value for " + arg);
        const char* value = argv[++i];
        if (arg == "--file") {
            o.file = value;
        } else if (arg == "--rate") {
            o.rate = static_cast<double>(number(value, "--rate", 1, 100000));
            o.rate_given = true;
        } else if (arg == "--pcap") {
            o.pcap_file = value;
        } else if (arg == "--speed") {
            char* end = nullptr;
            o.speed = std::strtod(value, &end);
            if (end == value || *end != 0 || !(o.speed > 0 && o.speed <= 1000000))
                fail_usage(std::string("bad value '") + value + "' for --speed");
        } else if (arg == "--sentences") {
            o.sentences_per_datagram = static_cast<int>(number(value, "--sentences", 1, 1000));
        } else if (arg == "--sources") {
            read_pair(value, arg, o.sources);
        } else if (arg == "--destination") {
            o.destination = value;
            destination_given = true;
        } else if (arg == "--group") {
            ipv4_address group;
            if (!parse_ipv4_address(value, group) || !is_multicast(group))
                fail_usage(std::string("'") + value +
                           "' is not a multicast group (224.0.0.0 to 239.255.255.255)");
            o.destination = value;
            o.group_given = true;
        } else if (arg == "--interface") {
            o.interface = value;
        } else if (arg == "--format") {
            if (!parse_datagram_format(value, o.format)) fail_usage("--format takes header8 or iec450");
        } else if (arg == "--tag-sources") {
            read_pair(value, arg, o.tag_sources);
            o.tags_given = true;
        } else if (arg == "--groups-every") {
            o.groups_every = number(value, "--groups-every", 1, 1000000000);
        } else if (arg == "--port") {
            o.port = static_cast<int>(number(value, "--port", 1, 65535));
        } else if (arg == "--boxes") {
            const std::string boxes = value;
            if (boxes != "1" && boxes != "2" && boxes != "both") fail_usage("--boxes takes 1, 2 or both");
            o.box_sends[0] = boxes != "2";
            o.box_sends[1] = boxes != "1";
        } else if (arg == "--bad-udp-every") {
            o.bad_udp_every = number(value, "--bad-udp-every", 1, 1000000000);
        } else if (arg == "--broken-every") {
            o.broken_every = number(value, "--broken-every", 1, 1000000000);
        } else if (arg == "--seconds") {
            o.seconds = static_cast<double>(number(value, "--seconds", 1, 100000000));
        } else {
            fail_usage("unknown option '" + arg + "'");
        }
    }
    check_combinations(o, destination_given);
    return o;
}

// The sample lies beside the program, in the build tree as in the package, wherever either was
// put; a path compiled in would point into a source tree that an installed program does not have.
std::string sample_beside_program() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path sample = program.parent_path() / sample_file_name;
    if (error || !std::filesystem::is_regular_file(sample, error)) {
        std::fprintf(stderr,
                     "vorlane-sim: no sentences to send: %s is not there; give a file of sentences with "
                     "--file PATH\n",
                     sample.c_str());
        std::exit(2);
    }
    return sample.string();
}

std::vector<std::string> read_sentences(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vorlane-sim: cannot read '%s': %s\n", file.c_str(), std::strerror(errno));
        std::exit(2);
    }
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    if (lines.empty()) {
        std::fprintf(stderr, "vorlane-sim: '%s' holds no sentences\n", file.c_str());
        std::exit(2);
    }
    return lines;
}

// One datagram of a capture, as it is to be sent again.
struct captured_datagram {
    std::chrono::microseconds at;
    int box;
    std::vector<std::uint8_t> payload;
};

// The UDP payloads of a capture sent to `port`, with their capture times; the first two source
// addresses found are junction box 1 and 2, datagrams from any other are left out.
std::vector<captured_datagram> read_capture(const std::string& file, int port) {
    char error[PCAP_ERRBUF_SIZE] = {};
    const std::unique_ptr<pcap_t, void (*)(pcap_t*)> capture(pcap_open_offline(file.c_str(), error),
                                                             pcap_close);
    if (!capture) {
        std::fprintf(stderr, "vorlane-sim: cannot read '%s': %s\n", file.c_str(), error);
        std::exit(2);
    }
    if (pcap_datalink(capture.get()) != DLT_EN10MB) {
        std::fprintf(stderr, "vorlane-sim: '%s' does not hold Ethernet frames\n", file.c_str());
        std::exit(2);
    }
    std::vector<ipv4_octets> boxes;
    std::vector<captured_datagram> datagrams;
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(capture.get(), &header, &data) == 1) {
        std::size_t ip_at = 0;
        std::size_t udp_at = 0;
        frame_skip why;
        if (header->caplen < header->len || !locate_headers(data, header->caplen, ip_at, udp_at, why))
            continue;
        if ((data[udp_at + 2] << 8 | data[udp_at + 3]) != port) continue;
        ipv4_octets source;
        std::memcpy(source.data(), data + ip_at + 12, source.size());
        auto known = std::find(boxes.begin(), boxes.end(), source);
        if (known == boxes.end()) {
            if (boxes.size() == 2) continue;
            known = boxes.insert(boxes.end(), source);
        }
        // The UDP length, not the frame, ends the payload: Ethernet pads short frames.
        const std::size_t udp_length = static_cast<std::size_t>(data[udp_at + 4] << 8 | data[udp_at + 5]);
        const std::size_t end =
            std::min<std::size_t>(header->caplen, udp_at + std::max<std::size_t>(udp_length, 8));
        datagrams.push_back(
            {std::chrono::seconds(header->ts.tv_sec) + std::chrono::microseconds(header->ts.tv_usec),
             static_cast<int>(known - boxes.begin()),
             std::vector<std::uint8_t>(data + udp_at + 8, data + end)});
    }
    return datagrams;
}

// One datagram as one packet; false, said on standard error, when it cannot go.
bool send_datagram(raw_udp_socket& socket, const udp_packet_spec& spec,
                   std::span<const std::uint8_t> payload) {
    try {
        if (socket.send(build_udp_packet(spec, payload))) return true;
        std::fprintf(stderr, "vorlane-sim: send failed: %s\n", socket.error().c_str());
    } catch (const std::length_error&) {
        std::fprintf(stderr,
                     "vorlane-sim: a datagram of %zu bytes does not fit one packet: lower --sentences\n",
                     payload.size());
    }
    return false;
}

// Sends the datagrams of a capture at its own pace divided by `speed`, or at `rate` datagrams
// per second when that is set.
int replay(const options& o, raw_udp_socket& socket, udp_packet_spec (&spec)[2]) {
    const std::vector<captured_datagram> datagrams = read_capture(o.pcap_file, o.port);
    const auto started = std::chrono::steady_clock::now();
    long sent[2] = {0, 0};
    for (std::size_t k = 0; k < datagrams.size() && !stop_requested; ++k) {
        const captured_datagram& d = datagrams[k];
        const std::chrono::duration<double> offset =
            o.rate_given ? std::chrono::duration<double>(static_cast<double>(k) / o.rate)
                         : std::chrono::duration<double>(d.at - datagrams.front().at) / o.speed;
        std::this_thread::sleep_until(
            started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(offset));
        spec[d.box].identification = static_cast<std::uint16_t>(k + 1);
        spec[d.box].checksum = udp_checksum_kind::correct;
        if (!send_datagram(socket, spec[d.box], d.payload)) return 1;
        ++sent[d.box];
    }
    std::fprintf(stderr, "vorlane-sim: replayed %ld datagrams as box 1 and %ld as box 2\n", sent[0], sent[1]);
    return 0;
}

// A sentence whose last checksum digit no longer matches: a display must never see it.
std::string broken(std::string sentence) {
    char& last = sentence.back();
    last = last == '0' ? '1' : '0';
    return sentence;
}

}  // namespace

int main(int argc, char** argv) {
    const options o = parse(argc, argv);

    udp_packet_spec spec[2];
    for (int box = 0; box < 2; ++box) {
        if (!parse_ipv4_address(o.sources[box], spec[box].source))
            fail_usage("'" + o.sources[box] + "' is not an IPv4 address");
        if (!parse_ipv4_address(o.destination, spec[box].destination))
            fail_usage("'" + o.destination + "' is not an IPv4 address");
        spec[box].source_port = static_cast<std::uint16_t>(50000 + box);
        spec[box].destination_port = static_cast<std::uint16_t>(o.port);
        // As an ordinary multicast sender: the group's datagrams stay on the local network.
        if (o.group_given) spec[box].time_to_live = 1;
    }

    raw_udp_socket socket;
    if (!socket.is_open()) {
        std::fprintf(stderr,
                     "vorlane-sim: cannot open a raw socket (%s).\n"
                     "Sending needs root or the capability CAP_NET_RAW, e.g.\n"
                     "  sudo setcap cap_net_raw+ep %s\n",
                     socket.error().c_str(), argv[0]);
        return 2;
    }
    if (!o.interface.empty() && !socket.set_multicast_interface(o.interface)) {
        std::fprintf(stderr, "vorlane-sim: %s\n", socket.error().c_str());
        return 2;
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    if (!o.pcap_file.empty()) return replay(o, socket, spec);
    const std::vector<std::string> sentences =
        read_sentences(o.file.empty() ? sample_beside_program() : o.file);

    // Every box sends its datagrams evenly spread over the second; box 2 starts half-way
    // through the file so the two streams are told apart at a glance.
    const double datagrams_per_second = o.rate / o.sentences_per_datagram;
    const auto interval = std::chrono::duration<double>(1.0 / std::max(datagrams_per_second, 0.001));
    const auto started = std::chrono::steady_clock::now();
    std::size_t next_line[2] = {0, sentences.size() / 2};
    std::uint32_t line_count[2] = {0, 0};
    std::uint32_t group_id[2] = {0, 0};
    long datagrams = 0;
    long sentence_count = 0;
    long sent[2] = {0, 0};
    bool oversize_said = false;
    auto due = started;
    while (!stop_requested) {
        if (o.seconds > 0 &&
            std::chrono::steady_clock::now() - started >= std::chrono::duration<double>(o.seconds))
            break;
        for (int box = 0; box < 2; ++box) {
            if (!o.box_sends[box]) continue;
            ++datagrams;
            const bool tagged = o.format == datagram_format::iec450;
            std::string payload = tagged ? std::string(iec450_sentence_token, iec450_token_size)
                                         : std::string(datagram_header, sizeof datagram_header);
            tag_fields tag{.source = o.tag_sources[box]};
            if (o.groups_every > 0 && (sent[box] + 1) % o.groups_every == 0) {
                group_id[box] = group_id[box] % max_group_id + 1;
                tag.group_size = o.sentences_per_datagram;
                tag.group_id = group_id[box];
            }
            tag.unix_time = static_cast<std::int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          std::chrono::system_clock::now().time_since_epoch())
                                                          .count());
            for (int k = 0; k < o.sentences_per_datagram; ++k) {
                const std::string& sentence = sentences[next_line[box]++ % sentences.size()];
                ++sentence_count;
                if (tagged) {
                    line_count[box] = line_count[box] % static_cast<std::uint32_t>(max_line_count) + 1;
                    tag.line_count = line_count[box];
                    if (tag.group_size > 0) tag.group_line = k + 1;
                    append_tag_block(payload, tag);
                }
                payload +=
                    o.broken_every > 0 && sentence_count % o.broken_every == 0 ? broken(sentence) : sentence;
                payload += "\r\n";
            }
            spec[box].identification = static_cast<std::uint16_t>(datagrams);
            spec[box].checksum = o.bad_udp_every > 0 && datagrams % o.bad_udp_every == 0
                                     ? udp_checksum_kind::wrong
                                     : udp_checksum_kind::correct;
            if (payload.size() > max_whole_payload && !oversize_said) {
                std::fprintf(stderr,
                             "vorlane-sim: a datagram of %zu bytes needs a packet larger than 1500 bytes,"
                             " which the gateway drops: lower --sentences\n",
                             payload.size());
                oversize_said = true;
            }
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(payload.data());
            if (!send_datagram(socket, spec[box], {bytes, payload.size()})) return 1;
            ++sent[box];
        }
        due += std::chrono::duration_cast<std::chrono::steady_clock::duration>(interval);
        std::this_thread::sleep_until(due);
    }
    std::fprintf(stderr, "vorlane-sim: sent %ld datagrams from box 1 and %ld from box 2\n", sent[0], sent[1]);
    return 0;
}
