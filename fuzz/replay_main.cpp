// Without libFuzzer a fuzz target is a plain program that feeds each file named on its command
// line, and each file in a folder named there, to the target once: ordinary builds compile the
// targets, replay the seeds as tests and can replay a finding.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path named(argv[i]);
        std::error_code error;
        if (!std::filesystem::is_directory(named, error)) {
            if (!replay(named)) return 2;
            ++replayed;
            continue;
        }
        for (const auto& entry : std::filesystem::directory_iterator(named, error)) {
            if (!entry.is_regular_file()) continue;
            if (!replay(entry.path())) return 2;
            ++replayed;
        }
        if (error) {
            std::fprintf(stderr, "cannot list %s\n", argv[i]);
            return 2;
        }
    }
    // A seed folder that went missing or empty would otherwise pass as a test without testing anything.
    if (argc > 1 && replayed == 0) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 2;
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
