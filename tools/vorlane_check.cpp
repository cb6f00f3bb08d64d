// vorlane-check: judges sentence logs line by line as the gateway would, and says why a line
// was rejected; or takes a capture file through the gateway's whole input path and says what
// each output would have served. The first tool a service engineer reaches for when a display
// shows nothing.
#include <pcap/pcap.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/shown_text.h"
#include "capture/frame_ring.h"
#include "config/config_manager.h"
#include "input/capture_input.h"
#include "input/datagram_hand_over.h"
#include "input/stream_input.h"
#include "stream/input_format.h"
#include "stream/nmea_manager.h"
#include "stream/sender_identity.h"
#include "validation/nmea_validator.h"
#include "validation/tag_block.h"

namespace {

using namespace vorlane;

constexpr const char* usage =
    "usage: vorlane-check [--format F] [--editions E] [--tsv] [FILE...]\n"
    "       vorlane-check --pcap FILE [--pcap-b FILE] [--ini Vorlane.ini] [--format F] [--editions E]\n"
    "                     [--sources A,B]\n"
    "                     [--destination IP] [--port N] [--tsv] [--served DIR]\n"
    "Judges every line (one sentence per line, CR/LF stripped) of the FILEs, or of standard input\n"
    "when no FILE is given or FILE is '-'.\n"
    "  --format F   header8: each line is the sentence (default); iec450: a line may begin with\n"
    "           a TAG block, which is checked and taken off before the sentence is judged.\n"
    "           With --pcap: the datagram format of both junction boxes, in place of the\n"
    "           settings' input_0_format and input_1_format\n"
    "  --editions E current: sentences in the current edition's layouts only (default); all: also\n"
    "           in the shorter layouts of earlier editions. With --pcap: for both junction boxes,\n"
    "           in place of the settings' input_0_editions and input_1_editions\n"
    "  default  every rejected line with its line number, syntax or checksum, and the reason,\n"
    "           then accepted/rejected counts per formatter, the rejection reasons by count and\n"
    "           the lines accepted in an earlier layout by formatter\n"
    "  --tsv    for every line: A or R, ok/syntax/checksum, formatter_index, talker_index (tab-separated)\n"
    "  --pcap FILE  a pcap or pcapng capture of Ethernet frames, taken through the gateway's input:\n"
    "           capture filter, frame parsing, junction box by source address, destination\n"
    "           address and port, UDP checksum, datagram decoding, validation and the output\n"
    "           queues. Frame and datagram numbers stand in place of line numbers; --tsv adds\n"
    "           them in front and the output number (1 or 2, - when rejected) behind.\n"
    "  --pcap-b FILE  a capture of LAN B, merged with the first by time stamp as the gateway\n"
    "           merges its two LANs: each line served once, second copies counted as such;\n"
    "           frames are numbered within their own file\n"
    "  --ini FILE   junction boxes' addresses and port from this settings file\n"
    "  --sources A,B, --destination IP, --port N   override them (default: the program's defaults)\n"
    "  --served DIR writes what each output would have carried to DIR/output1.txt and output2.txt,\n"
    "           making DIR when it is missing\n"
    "Exit status: 0 everything accepted, 1 something rejected or dropped (a second copy from the\n"
    "other LAN is no drop here), 2 usage or I/O error.\n";

struct tally {
    long accepted = 0;
    long rejected = 0;
    long earlier_layout = 0;
};

// The counts every mode prints at the end: per formatter, and the reasons by count.
class summary {
  public:
    void add(const nmea_sentence_info& info, const nmea_rejection* why) {
        const std::string formatter = info.formatter[0] != 0 ? info.formatter : "(none)";
        tally& t = per_formatter[formatter];
        if (why == nullptr) {
            ++t.accepted;
            ++accepted;
            t.earlier_layout += info.earlier_layout ? 1 : 0;
            return;
        }
        ++t.rejected;
        ++rejected;
        ++per_reason[(info.formatter[0] != 0 ? formatter + ": " : std::string()) + text_of(why->reason)];
    }
    // Frames, whole datagrams or lines dropped apart from the judged sentences. A second copy
    // that the other LAN brought first is counted but refuses nothing: two healthy LANs bring one
    // for every datagram.
    void add_drop(const char* label, long count = 1, bool refused = true) {
        if (refused) dropped += count;
        per_reason[label] += count;
    }
    bool anything_refused() const { return rejected > 0 || dropped > 0; }

    void print() const {
        std::printf("%-10s %10s %10s\n", "formatter", "accepted", "rejected");
        for (const auto& [formatter, t] : per_formatter)
            std::printf("%-10s %10ld %10ld\n", formatter.c_str(), t.accepted, t.rejected);
        std::printf("%-10s %10ld %10ld\n", "total", accepted, rejected);
        if (!per_reason.empty()) {
            std::vector<std::pair<std::string, long>> reasons(per_reason.begin(), per_reason.end());
            std::stable_sort(reasons.begin(), reasons.end(),
                             [](const auto& a, const auto& b) { return a.second > b.second; });
            std::printf("\n%10s  %s\n", "count", "reason");
            for (const auto& [reason, count] : reasons) std::printf("%10ld  %s\n", count, reason.c_str());
        }
        // Which sensors are old: shown only once an earlier layout was taken.
        bool heading = false;
        for (const auto& [formatter, t] : per_formatter) {
            if (t.earlier_layout == 0) continue;
            if (!heading) std::printf("\n%10s  %s\n", "count", "accepted in an earlier layout");
            heading = true;
            std::printf("%10ld  %s\n", t.earlier_layout, formatter.c_str());
        }
    }

  private:
    long accepted = 0;
    long rejected = 0;
    long dropped = 0;
    std::map<std::string, tally> per_formatter;
    std::map<std::string, long> per_reason;
};

const char* stage_name(const nmea_rejection& why) {
    return stage_of(why.reason) == rejection_stage::checksum ? "checksum" : "syntax";
}

class line_checker {
  public:
    line_checker(bool as_tsv, datagram_format lines_format, nmea_editions lines_editions, summary& tally)
        : tsv(as_tsv), format(lines_format), editions(lines_editions), counts(tally) {}

    void check_stream(std::istream& in, const std::string& name) {
        std::string line;
        long number = 0;
        while (std::getline(in, line)) {
            ++number;
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
            check_line(line, name, number);
        }
    }

  private:
    void check_line(const std::string& line, const std::string& name, long number) {
        std::vector<char> buffer(line.size() + 1);
        nmea_sentence_info info;
        nmea_error_counts errors;
        nmea_rejection why;
        // A line with a NUL inside is judged as the gateway would see it: up to the NUL.
        const char* sentence = line.c_str();
        if (format == datagram_format::iec450 && line.starts_with('\\')) {
            nmea_tag_block tag;
            sentence = read_tag_block(sentence, tag, why);
        }
        const bool ok = sentence != nullptr &&
                        nmea_validate_sentence(sentence, buffer.data(), info, errors, &why, editions);
        if (tsv)
            std::printf("%c\t%s\t%u\t%d\n", ok ? 'A' : 'R', ok ? "ok" : stage_name(why), info.formatter_index,
                        info.talker_index);
        else if (!ok)
            std::printf("%s:%ld: %s: %s\n", name.c_str(), number, stage_name(why),
                        shown_sentence(describe(why, info)).c_str());
        counts.add(info, ok ? nullptr : &why);
    }

    bool tsv;
    datagram_format format;
    nmea_editions editions;
    summary& counts;
};

// --- capture files ---------------------------------------------------------------------------------

struct pcap_options {
    std::string file;
    // LAN B's capture, merged with LAN A's by time; empty for one LAN.
    std::string file_b;
    bool tsv = false;
    std::string served_dir;
};

// Reports each judged line with the frame and datagram it came in.
class datagram_reporter final : public sentence_observer {
  public:
    datagram_reporter(const pcap_options& chosen, summary& tally) : options(chosen), counts(tally) {}

    void judged(std::int32_t input, const char* line, const nmea_sentence_info& info,
                const nmea_rejection& why) override {
        const bool ok = why.reason == rejection::none;
        if (options.tsv) {
            std::printf("%ld\t%ld\t%c\t%s\t%u\t%d\t", frame, datagram, ok ? 'A' : 'R',
                        ok ? "ok" : stage_name(why), info.formatter_index, info.talker_index);
            if (ok)
                std::printf("%d\n", input + 1);
            else
                std::printf("-\n");
        } else if (!ok) {
            // The line came from the network: its control bytes must not reach a terminal.
            std::printf("%s:frame %ld datagram %ld: %s: %s: %s\n", file->c_str(), frame, datagram,
                        stage_name(why), shown_sentence(describe(why, info)).c_str(),
                        shown_sentence(line).c_str());
        }
        counts.add(info, ok ? nullptr : &why);
    }

    // `count` lines of the datagram, or the datagram or frame itself when 1.
    void dropped(const char* label, long count = 1, bool refused = true) {
        if (!options.tsv) {
            std::printf("%s:frame %ld", file->c_str(), frame);
            if (datagram_known) std::printf(" datagram %ld", datagram);
            std::printf(": dropped: %s", label);
            if (count > 1) std::printf(" (%ld lines)", count);
            std::printf("\n");
        }
        counts.add_drop(label, count, refused);
    }

    // What the gateway would have written to its status line and log at this frame.
    void note(const std::string& text) const {
        if (!options.tsv) std::printf("%s:frame %ld: %s\n", file->c_str(), frame, text.c_str());
    }

    // The capture file the frame came from, and its number there.
    const std::string* file = nullptr;
    long frame = 0;
    long datagram = 0;
    bool datagram_known = false;

  private:
    const pcap_options& options;
    summary& counts;
};

// What the two outputs carry, taken from the queues as the 100 ms service takes it.
class served_outputs {
  public:
    explicit served_outputs(const std::string& dir) {
        if (dir.empty()) return;
        std::filesystem::create_directories(dir);
        for (int output = 0; output < output_count; ++output) {
            const auto path = std::filesystem::path(dir) / ("output" + std::to_string(output + 1) + ".txt");
            files[output].open(path, std::ios::binary | std::ios::trunc);
            if (!files[output]) throw std::runtime_error("cannot write " + path.string());
        }
    }

    void serve(nmea_manager& manager) {
        for (int output = 0; output < output_count; ++output) {
            std::int32_t length = batch_capacity;
            while (manager.take_output(output, batch.data(), length)) {
                if (files[output].is_open()) files[output].write(batch.data(), length);
                length = batch_capacity;
            }
        }
    }

  private:
    std::array<std::ofstream, output_count> files;
    std::array<char, batch_capacity + 1> batch{};
};

using drop_counts = std::array<std::uint64_t, stream_drop_count>;

bool refuses(std::size_t kind) {
    return static_cast<stream_drop>(kind) != stream_drop::other_lan_copy;
}

// What the stream manager dropped, by input and kind: reported at the datagram whose hand-over
// dropped it, and the rest, dropped while the service took the queues, counted at the end.
class drop_accounts {
  public:
    void report_datagram(const drop_counts& before, const drop_counts& after, std::int32_t input,
                         datagram_reporter& reporter) {
        for (std::size_t kind = 0; kind < stream_drop_count; ++kind) {
            const std::uint64_t count = after[kind] - before[kind];
            if (count == 0) continue;
            reporter.dropped(label_of(static_cast<stream_drop>(kind)), static_cast<long>(count),
                             refuses(kind));
            reported[static_cast<std::size_t>(input)][kind] += count;
        }
    }

    void count_unreported(const nmea_manager& manager, summary& counts) const {
        for (std::int32_t input = 0; input < junction_box_count; ++input) {
            const drop_counts& total = manager.statistics().input(input).dropped;
            for (std::size_t kind = 0; kind < stream_drop_count; ++kind)
                if (const std::uint64_t count = total[kind] - reported[static_cast<std::size_t>(input)][kind])
                    counts.add_drop(label_of(static_cast<stream_drop>(kind)), static_cast<long>(count),
                                    refuses(kind));
        }
    }

  private:
    std::array<drop_counts, junction_box_count> reported{};
};

// One capture file, the LAN it was taken on, and its next frame, read ahead so that two files
// can be merged by time.
class lan_capture {
  public:
    // False, with the reason on standard error, when the file cannot be read as Ethernet
    // frames or the gateway's filter for the LAN cannot be compiled for it.
    bool open(const std::string& file_name, int lan, const config_manager& config) {
        name = file_name;
        char error[PCAP_ERRBUF_SIZE] = {};
        capture.reset(pcap_open_offline(name.c_str(), error));
        if (!capture) {
            std::fprintf(stderr, "vorlane-check: cannot read '%s': %s\n", name.c_str(), error);
            return false;
        }
        if (pcap_datalink(capture.get()) != DLT_EN10MB) {
            std::fprintf(stderr, "vorlane-check: '%s' does not hold Ethernet frames\n", name.c_str());
            return false;
        }
        // The gateway's own filter for the LAN decides which frames it sees at all.
        const std::string filter = build_capture_filter(config, lan);
        if (pcap_compile(capture.get(), &program, filter.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
            std::fprintf(stderr, "vorlane-check: filter '%s': %s\n", filter.c_str(),
                         pcap_geterr(capture.get()));
            return false;
        }
        compiled = true;
        const capture_request request = build_capture_request(config, lan);
        ring->set_inputs(
            input_addresses(request.source_ips, request.destination_ips, request.destination_ports));
        advance();
        return true;
    }
    lan_capture() = default;
    lan_capture(const lan_capture&) = delete;
    lan_capture& operator=(const lan_capture&) = delete;
    ~lan_capture() {
        if (compiled) pcap_freecode(&program);
    }

    // Reads the next frame; false at the end of the file or on an error.
    bool advance() {
        result = capture ? pcap_next_ex(capture.get(), &header, &data) : PCAP_ERROR_BREAK;
        if (result == 1) ++frame;
        return result == 1;
    }
    bool has_frame() const { return result == 1; }
    queue_clock::time_point time() const {
        return queue_clock::time_point{std::chrono::seconds(header->ts.tv_sec) +
                                       std::chrono::microseconds(header->ts.tv_usec)};
    }
    // False, with the reason on standard error, when reading ended on an error.
    bool read_whole() const {
        if (result != PCAP_ERROR) return true;
        std::fprintf(stderr, "vorlane-check: error while reading '%s': %s\n", name.c_str(),
                     pcap_geterr(capture.get()));
        return false;
    }

    std::string name;
    std::unique_ptr<pcap_t, void (*)(pcap_t*)> capture{nullptr, pcap_close};
    bpf_program program{};
    bool compiled = false;
    const std::unique_ptr<FrameRing> ring = std::make_unique<FrameRing>();
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    int result = PCAP_ERROR_BREAK;
    long frame = 0;
};

int check_capture(const pcap_options& options, const config_manager& config, summary& counts) {
    std::array<lan_capture, lan_count> lans;
    const int lans_used = options.file_b.empty() ? 1 : lan_count;
    for (int lan = 0; lan < lans_used; ++lan)
        if (!lans[lan].open(lan == lan_a ? options.file : options.file_b, lan, config)) return 2;

    const auto manager = std::make_unique<nmea_manager>();
    lan_receivers receivers;
    // The gateway reports a format, source list or sender address it cannot use and serves
    // nothing of that input.
    for (const std::string& setting_error : apply_input_formats(config, *manager, receivers))
        std::fprintf(stderr, "vorlane-check: %s\n", setting_error.c_str());
    // The second file is LAN B's, whatever the settings say.
    receivers.two_lans = lans_used == lan_count;
    manager->set_lans(lans_used);
    drop_accounts drops;
    const auto datagram = std::make_unique<rx_datagram>();
    datagram_reporter reporter(options, counts);
    manager->set_observer(&reporter);
    served_outputs served(options.served_dir);

    // The 100 ms service takes the queues at the first tick after a datagram; draining before a
    // datagram that arrives a service period after the last drain keeps the replacements in
    // place that the gateway would make.
    constexpr auto service_period = std::chrono::milliseconds(100);
    queue_clock::time_point next_service{};
    queue_clock::time_point last_datagram{};
    for (;;) {
        // The two LANs' frames in the order of their time stamps, LAN A's first at the same time,
        // as the gateway would have taken them.
        int lan = lan_a;
        if (!lans[lan_a].has_frame() || (lans[lan_b].has_frame() && lans[lan_b].time() < lans[lan_a].time()))
            lan = lan_b;
        lan_capture& source = lans[lan];
        if (!source.has_frame()) break;
        reporter.file = &source.name;
        reporter.frame = source.frame;
        reporter.datagram_known = false;
        const queue_clock::time_point now = source.time();
        const std::int64_t wall_seconds = source.header->ts.tv_sec;
        const bool passed = pcap_offline_filter(&source.program, source.header, source.data) != 0;
        frame_skip why = frame_skip::not_ipv4_udp;
        const bool stored = passed && source.ring->store_captured(source.data, source.header->caplen,
                                                                  source.header->len, &why);
        source.advance();
        if (!passed) continue;
        if (!stored) {
            reporter.dropped(label_of(why));
            continue;
        }
        source.ring->take_datagram(datagram.get());
        datagram->lan = lan;
        // The capture starts where the gateway's input would have opened.
        if (reporter.datagram == 0)
            for (sender_identity& senders : receivers.senders) senders.open(now);
        if (now >= next_service) {
            // At most one service period after the last datagram: nothing has aged yet.
            manager->set_time(last_datagram);
            served.serve(*manager);
            next_service = now + service_period;
        }
        last_datagram = now;
        manager->set_time(now);
        manager->set_wall_time(wall_seconds);
        ++reporter.datagram;
        reporter.datagram_known = true;
        const std::int32_t input = datagram->input_index;
        const drop_counts before = manager->statistics().input(input).dropped;
        hand_over_datagram(*manager, receivers, *datagram, now);
        drops.report_datagram(before, manager->statistics().input(input).dropped, input, reporter);
        if (sender_warning warning; receivers.senders[lan].take_warning(input, now, warning))
            reporter.note(sender_warning_text(input, source_ip(config, lan, input), warning));
        if (line_count_conflict conflict; manager->take_count_conflict(input, conflict))
            reporter.note(count_conflict_text(input, config.input_src_ip[input], conflict));
        for (source_switch change; manager->take_source_switch(input, change);)
            reporter.note(source_switch_text(input, change));
    }
    for (int lan = 0; lan < lans_used; ++lan)
        for (std::int32_t input = 0; input < junction_box_count; ++input)
            if (ethernet_address expected{};
                receivers.senders[lan].take_missing(input, last_datagram, expected))
                reporter.note(missing_sender_text(input, source_ip(config, lan, input), expected));
    manager->set_time(last_datagram);
    served.serve(*manager);
    for (int lan = 0; lan < lans_used; ++lan)
        if (!lans[lan].read_whole()) return 2;
    drops.count_unreported(*manager, counts);
    return 0;
}

[[noreturn]] void fail_usage(const std::string& message) {
    std::fprintf(stderr, "vorlane-check: %s\n%s", message.c_str(), usage);
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    bool tsv = false;
    pcap_options capture;
    std::string ini;
    std::string sources;
    std::string destination;
    std::string port;
    std::string format;
    std::string editions;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) fail_usage("missing value for " + arg);
            return argv[++i];
        };
        if (arg == "--tsv") {
            tsv = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg == "--pcap") {
            capture.file = value();
        } else if (arg == "--pcap-b") {
            capture.file_b = value();
        } else if (arg == "--ini") {
            ini = value();
        } else if (arg == "--sources") {
            sources = value();
        } else if (arg == "--destination") {
            destination = value();
        } else if (arg == "--port") {
            port = value();
        } else if (arg == "--format") {
            format = value();
        } else if (arg == "--editions") {
            editions = value();
        } else if (arg == "--served") {
            capture.served_dir = value();
        } else if (arg.size() > 1 && arg[0] == '-') {
            fail_usage("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }

    datagram_format lines_format = datagram_format::header8;
    if (!format.empty() && !parse_datagram_format(format, lines_format))
        fail_usage("--format takes header8 or iec450");
    nmea_editions lines_editions = nmea_editions::current;
    if (!editions.empty() && !parse_editions(editions, lines_editions))
        fail_usage("--editions takes current or all");
    summary counts;
    if (!capture.file.empty()) {
        if (!files.empty()) fail_usage("--pcap takes no other files");
        if (capture.file_b == capture.file) fail_usage("--pcap-b takes another file than --pcap");
        config_manager config;
        set_defaults(config);
        if (!ini.empty() && !read_config(config, ini)) {
            std::fprintf(stderr, "vorlane-check: %s\n", take_error(config).c_str());
            return 2;
        }
        if (!sources.empty()) {
            const std::size_t comma = sources.find(',');
            if (comma == std::string::npos) fail_usage("--sources needs two addresses, A,B");
            config.input_src_ip[0] = sources.substr(0, comma);
            config.input_src_ip[1] = sources.substr(comma + 1);
        }
        if (!destination.empty()) config.input_dest_ip[0] = config.input_dest_ip[1] = destination;
        if (!format.empty()) config.input_format[0] = config.input_format[1] = format;
        if (!editions.empty()) config.input_editions[0] = config.input_editions[1] = editions;
        if (!port.empty()) {
            char* end = nullptr;
            const long number = std::strtol(port.c_str(), &end, 10);
            if (*end != 0 || number < 1 || number > 65535) fail_usage("bad value '" + port + "' for --port");
            config.input_port[0] = config.input_port[1] = static_cast<std::int32_t>(number);
        }
        capture.tsv = tsv;
        try {
            if (const int status = check_capture(capture, config, counts); status != 0) return status;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "vorlane-check: %s\n", e.what());
            return 2;
        }
    } else {
        if (!ini.empty() || !sources.empty() || !destination.empty() || !port.empty() ||
            !capture.served_dir.empty() || !capture.file_b.empty())
            fail_usage("--pcap-b, --ini, --sources, --destination, --port and --served need --pcap");
        if (files.empty()) files.emplace_back("-");
        line_checker check(tsv, lines_format, lines_editions, counts);
        for (const std::string& file : files) {
            if (file == "-") {
                check.check_stream(std::cin, "<stdin>");
                continue;
            }
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "vorlane-check: cannot read '%s': %s\n", file.c_str(),
                             std::strerror(errno));
                return 2;
            }
            check.check_stream(in, file);
            if (in.bad()) {
                std::fprintf(stderr, "vorlane-check: error while reading '%s'\n", file.c_str());
                return 2;
            }
        }
    }
    if (!tsv) counts.print();
    return counts.anything_refused() ? 1 : 0;
}
