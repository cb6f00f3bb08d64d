// Prints everything the validator says about each line it is given, one line out per line in:
// verdict, reason, field, field counts, formatter and talker with their indexes, fragment fields
// and both counters. Two builds of the validator that print the same for the same input agree
// exactly; differential.sh builds an earlier commit beside this one and compares the two.
//
// Input: files of sentence lines (CR LF or LF). Each line is judged as it stands and with its
// checksum made right, then --mutations lines made from random lines by random edits, most of
// them with their checksum made right, so that the edits reach the field rules. The mutations
// depend on --seed only, so two builds see the same lines.
//
// Usage: validation-dump [--mutations N] [--seed S] FILE...
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "validation/nmea_validator.h"

namespace {

using namespace vorlane;

std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7F || c == '%') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

// The line with "*hh" at its end made right, or added when it has none.
std::string with_right_checksum(std::string line) {
    if (line.size() >= 3 && line[line.size() - 3] == '*') line.resize(line.size() - 3);
    unsigned sum = 0;
    for (std::size_t i = 1; i < line.size(); ++i) sum ^= static_cast<unsigned char>(line[i]);
    char tail[4];
    std::snprintf(tail, sizeof tail, "*%02X", sum & 0xFF);
    return line + tail;
}

struct judgement {
    bool accepted = false;
    nmea_sentence_info info;
    nmea_error_counts counts;
    nmea_rejection why;
    bool text_kept = false;
};

judgement judge(const std::string& line, bool in_place, bool asking_why) {
    judgement j;
    std::string text = line;
    std::string buffer(line.size() + 1, '#');
    char* const into = in_place ? text.data() : buffer.data();
    j.accepted = nmea_validate_sentence(text.c_str(), into, j.info, j.counts, asking_why ? &j.why : nullptr);
    j.text_kept = std::string_view(into) == line;
    return j;
}

bool same_outcome(const judgement& a, const judgement& b) {
    return a.accepted == b.accepted && a.counts.nmea_syntax_error == b.counts.nmea_syntax_error &&
           a.counts.nmea_checksum_error == b.counts.nmea_checksum_error &&
           a.info.formatter_index == b.info.formatter_index && a.info.talker_index == b.info.talker_index &&
           std::strcmp(a.info.talker, b.info.talker) == 0 &&
           std::strcmp(a.info.formatter, b.info.formatter) == 0 &&
           a.info.fragment_number == b.info.fragment_number &&
           a.info.fragment_total == b.info.fragment_total && a.info.sequence_id == b.info.sequence_id &&
           a.text_kept == b.text_kept;
}

void print(const std::string& line) {
    const judgement j = judge(line, false, true);
    // The same sentence judged in place and without asking why must come out the same.
    const bool consistent = same_outcome(j, judge(line, true, false));
    std::printf(
        "%s\t%d %s field=%d found=%d needed=%d group=%d formatter=%u:%s talker=%d:%s "
        "fragment=%d/%d sequence=%d syntax=%d checksum=%d kept=%d consistent=%d\n",
        printable(line).c_str(), j.accepted, j.accepted ? "-" : text_of(j.why.reason), j.why.field,
        j.why.fields_found, j.why.fields_needed, j.why.field_group, j.info.formatter_index,
        printable(j.info.formatter).c_str(), j.info.talker_index, printable(j.info.talker).c_str(),
        j.info.fragment_number, j.info.fragment_total, j.info.sequence_id, j.counts.nmea_syntax_error,
        j.counts.nmea_checksum_error, j.text_kept, consistent);
}

// Characters that matter to framing and field checks, beside the printable range.
constexpr std::string_view telling_characters = ",,,..--**^^$!\\~ 0123456789AEFNSTWaz\x7F\x80\xFF";

std::string mutate(std::string line, std::mt19937& random) {
    const auto pick = [&random](std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const auto character = [&]() -> char {
        return pick(4) == 0 ? static_cast<char>(0x20 + pick(0x5F))
                            : telling_characters[pick(telling_characters.size())];
    };
    const std::size_t edits = 1 + pick(3);
    for (std::size_t e = 0; e < edits; ++e) {
        const std::size_t at = pick(line.size() + 1);
        switch (pick(6)) {
            case 0:
                if (at < line.size()) line[at] = character();
                break;
            case 1:
                line.insert(line.begin() + static_cast<std::ptrdiff_t>(at), character());
                break;
            case 2:
                if (at < line.size()) line.erase(at, 1);
                break;
            case 3: {  // a field dropped
                const std::size_t comma = line.find(',', at);
                const std::size_t next = comma == std::string::npos ? comma : line.find(',', comma + 1);
                if (next != std::string::npos) line.erase(comma, next - comma);
                break;
            }
            case 4: {  // a field doubled
                const std::size_t comma = line.find(',', at);
                const std::size_t next =
                    comma == std::string::npos ? comma : line.find_first_of(",*", comma + 1);
                if (next != std::string::npos) line.insert(next, line.substr(comma, next - comma));
                break;
            }
            case 5:  // a field emptied
                if (const std::size_t comma = line.find(',', at); comma != std::string::npos) {
                    const std::size_t end = line.find_first_of(",*", comma + 1);
                    line.erase(comma + 1, (end == std::string::npos ? line.size() : end) - comma - 1);
                }
                break;
        }
    }
    return pick(10) == 0 ? line : with_right_checksum(line);
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t mutations = 0;
    unsigned seed = 1;
    std::vector<std::string> lines;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--mutations" && i + 1 < argc) {
            mutations = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
        } else {
            std::ifstream in(argv[i], std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "validation-dump: cannot read %s\n", argv[i]);
                return 2;
            }
            for (std::string line; std::getline(in, line);) {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                lines.push_back(line);
            }
        }
    }
    for (const std::string& line : lines) {
        print(line);
        print(with_right_checksum(line));
    }
    if (lines.empty()) return mutations == 0 ? 0 : 2;
    std::mt19937 random(seed);
    for (std::size_t m = 0; m < mutations; ++m)
        print(mutate(lines[std::uniform_int_distribution<std::size_t>(0, lines.size() - 1)(random)], random));
    return 0;
}
