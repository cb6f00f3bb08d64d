// Replays one golden file pair through the controller, its capture input scripted and its two
// outputs served on loopback: <pair>.datagrams is fed as both junction boxes sent it, and what
// the clients of the two outputs receive must be exactly <pair>.expected. tests/data/README.md
// describes both formats.
#include <QCoreApplication>
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "tests/app/scripted_controller.h"
#include "tests/support/loopback_peer.h"

namespace vorlane::test {
namespace {

// The named escapes of both file formats; \xHH stands for any other byte.
constexpr std::pair<char, char> named_escapes[] = {{'r', '\r'}, {'n', '\n'}, {'0', '\0'}, {'\\', '\\'}};

std::string unescape(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
        } else if (i + 1 == text.size()) {
            throw std::invalid_argument("a lone backslash ends the line");
        } else if (text[++i] == 'x') {
            if (i + 2 >= text.size()) throw std::invalid_argument("\\x needs two hexadecimal digits");
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            const auto* named = std::find_if(std::begin(named_escapes), std::end(named_escapes),
                                             [&](const auto& e) { return e.first == text[i]; });
            if (named == std::end(named_escapes))
                throw std::invalid_argument("unknown escape \\" + std::string(1, text[i]));
            bytes += named->second;
        }
    }
    return bytes;
}

std::string escape(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto* named = std::find_if(std::begin(named_escapes), std::end(named_escapes),
                                         [c](const auto& e) { return e.second == c; });
        if (named != std::end(named_escapes)) {
            text += {'\\', named->first};
        } else if (c >= 0x20 && c < 0x7F) {
            text += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            text += hex;
        }
    }
    return text;
}

std::string read_existing(const std::string& file) {
    if (!std::filesystem::is_regular_file(file)) throw std::runtime_error("cannot read " + file);
    return read_file(file);
}

// Settings a pair may give a junction box, "<key> <box> <value>", each written as
// input_<box - 1>_<key>=<value>; those of its output, "output_<key> <box> <value>", as
// output_<box - 1>_<key>=<value>.
constexpr std::string_view input_setting_keys[] = {"format", "sources", "output_sources", "output_tags"};
constexpr std::string_view output_key = "output_";

// The junction boxes' settings and datagrams, as the file gives them.
struct script {
    std::string input_settings;
    struct datagram {
        int box;
        std::string payload;
        bool bad_checksum;
    };
    std::vector<datagram> datagrams;
};

int box_of(std::istream& fields, const std::string& line) {
    int box = 0;
    fields >> box;
    if (box != 1 && box != 2) throw std::invalid_argument("no junction box 1 or 2: " + line);
    return box;
}

// The rest of the line behind the one space that ends the previous field.
std::string rest_of(std::istream& fields) {
    fields.get();
    std::string rest;
    std::getline(fields, rest);
    return rest;
}

script read_script(const std::string& file) {
    script read;
    std::istringstream lines(read_existing(file));
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        if (std::isalpha(static_cast<unsigned char>(line[0]))) {
            std::string key;
            fields >> key;
            if (std::find(std::begin(input_setting_keys), std::end(input_setting_keys), key) ==
                std::end(input_setting_keys))
                throw std::invalid_argument("no setting of a junction box: " + line);
            const int box = box_of(fields, line);
            const bool of_output = key.starts_with(output_key);
            read.input_settings += (of_output ? "output_" : "input_") + std::to_string(box - 1) + "_" +
                                   key.substr(of_output ? output_key.size() : 0) + "=" + rest_of(fields) +
                                   "\n";
            continue;
        }
        const int box = box_of(fields, line);
        std::string word;
        fields >> word;
        const bool bad_checksum = word == "bad-udp-checksum";
        if (!bad_checksum && word != "good")
            throw std::invalid_argument("neither good nor bad-udp-checksum: " + line);
        read.datagrams.push_back({box, unescape(rest_of(fields)), bad_checksum});
    }
    return read;
}

// "<output> <text>" per line served, each line up to and including its LF.
std::string render(int output, std::string_view served) {
    std::string text;
    while (!served.empty()) {
        const std::size_t end = std::min(served.find('\n'), served.size() - 1) + 1;
        text += std::to_string(output) + " " + escape(served.substr(0, end)) + "\n";
        served.remove_prefix(end);
    }
    return text;
}

// Bounded: about two seconds at most.
bool process_events_until(const auto& done) {
    for (int i = 0; i < 400; ++i) {
        if (done()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
}

int replay(const std::string& pair) {
    const script sent = read_script(pair + ".datagrams");
    scripted_controller gateway;
    gateway.input_settings = sent.input_settings;
    if (!gateway.run_to_ready()) throw std::runtime_error("the controller did not get ready");
    loopback_peer box1(static_cast<std::uint16_t>(gateway.first_port));
    loopback_peer box2(static_cast<std::uint16_t>(gateway.first_port + 1));
    const auto both_accepted = [&] {
        return gateway.controller->outputs().output_server(0)->client_count() == 1 &&
               gateway.controller->outputs().output_server(1)->client_count() == 1;
    };
    if (!box1.wait_connected(2000) || !box2.wait_connected(2000) || !process_events_until(both_accepted))
        throw std::runtime_error("the outputs did not accept their clients");

    for (const auto& d : sent.datagrams) gateway.input->capture_payload(d.box - 1, d.payload, d.bad_checksum);
    gateway.controller->on_rx_datagram();
    // Serves until both queues are empty, then until nothing more arrives for a while.
    std::size_t received = 0;
    int quiet = 0;
    process_events_until([&] {
        gateway.controller->Timer100msTimer();
        box1.read_available();
        box2.read_available();
        const std::size_t now = box1.received().size() + box2.received().size();
        quiet = now == received && !gateway.manager->has_output(0) && !gateway.manager->has_output(1)
                    ? quiet + 1
                    : 0;
        received = now;
        return quiet == 10;
    });

    const std::string served = render(1, box1.received()) + render(2, box2.received());
    const std::string expected = read_existing(pair + ".expected");
    if (served == expected) return 0;
    std::fprintf(stderr, "%s.expected:\n%s\nserved:\n%s", pair.c_str(), expected.c_str(), served.c_str());
    return 1;
}

}  // namespace
}  // namespace vorlane::test

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>/<pair> (without .datagrams or .expected)\n", argv[0]);
        return 2;
    }
    QCoreApplication application(argc, argv);
    try {
        return vorlane::test::replay(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", argv[1], e.what());
        return 1;
    }
}
