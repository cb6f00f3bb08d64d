// vorlane-check: judges sentence logs line by line as the gateway would, and says why a line
// was rejected. The first tool a service engineer reaches for when a display shows nothing.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "validation/nmea_validator.h"

namespace {

using namespace vorlane;

constexpr const char* usage =
    "usage: vorlane-check [--tsv] [FILE...]\n"
    "Judges every line (one sentence per line, CR/LF stripped) of the FILEs, or of standard input\n"
    "when no FILE is given or FILE is '-'.\n"
    "  default  every rejected line with its line number, syntax or checksum, and the reason,\n"
    "           then accepted/rejected counts per formatter\n"
    "  --tsv    for every line: A or R, ok/syntax/checksum, formatter_index, talker_index (tab-separated)\n"
    "Exit status: 0 all lines accepted, 1 some line rejected, 2 usage or I/O error.\n";

struct tally {
    long accepted = 0;
    long rejected = 0;
};

class checker {
public:
    explicit checker(bool tsv) : tsv_(tsv) {}

    void check_stream(std::istream& in, const std::string& name) {
        std::string line;
        long number = 0;
        while (std::getline(in, line)) {
            ++number;
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
            check_line(line, name, number);
        }
    }

    bool any_rejected() const { return rejected_ > 0; }

    void print_summary() const {
        if (tsv_) return;
        std::printf("%-10s %10s %10s\n", "formatter", "accepted", "rejected");
        for (const auto& [formatter, t] : per_formatter_)
            std::printf("%-10s %10ld %10ld\n", formatter.c_str(), t.accepted, t.rejected);
        std::printf("%-10s %10ld %10ld\n", "total", accepted_, rejected_);
    }

private:
    void check_line(const std::string& line, const std::string& name, long number) {
        std::vector<char> buffer(line.size() + 1);
        nmea_sentence_info info;
        nmea_error_counts counts;
        nmea_rejection why;
        // A line with a NUL inside is judged as the gateway would see it: up to the NUL.
        const bool ok = nmea_validate_sentence(line.c_str(), buffer.data(), info, counts, &why);
        const char* stage = ok ? "ok" : counts.nmea_checksum_error ? "checksum" : "syntax";
        if (tsv_) {
            std::printf("%c\t%s\t%u\t%d\n", ok ? 'A' : 'R', stage, info.formatter_index, info.talker_index);
        } else if (!ok) {
            std::printf("%s:%ld: %s: %s\n", name.c_str(), number, stage, describe(why, info).c_str());
        }
        (ok ? accepted_ : rejected_)++;
        tally& t = per_formatter_[info.formatter[0] != 0 ? info.formatter : "(none)"];
        (ok ? t.accepted : t.rejected)++;
    }

    bool tsv_;
    long accepted_ = 0;
    long rejected_ = 0;
    std::map<std::string, tally> per_formatter_;
};

}  // namespace

int main(int argc, char** argv) {
    bool tsv = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--tsv") {
            tsv = true;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "vorlane-check: unknown option '%s'\n%s", arg.c_str(), usage);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) files.emplace_back("-");

    checker check(tsv);
    for (const std::string& file : files) {
        if (file == "-") {
            check.check_stream(std::cin, "<stdin>");
            continue;
        }
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "vorlane-check: cannot read '%s': %s\n", file.c_str(), std::strerror(errno));
            return 2;
        }
        check.check_stream(in, file);
        if (in.bad()) {
            std::fprintf(stderr, "vorlane-check: error while reading '%s'\n", file.c_str());
            return 2;
        }
    }
    check.print_summary();
    return check.any_rejected() ? 1 : 0;
}
