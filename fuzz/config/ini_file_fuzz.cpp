// Whatever an operator's editor leaves in the settings file, writing a setting must read back
// as exactly that value and must not lose or alter any line it did not own.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/ini_file.h"

namespace {

std::size_t count_lines(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        if (c == '\n') ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using vorlane::ini_file;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ini_file ini = ini_file::parse(text);
    const std::string original = ini.text();
    if (ini_file::parse(original).text() != original) std::abort();

    ini.write_string("Vorlane", "input_ip", "10.0.0.1");
    ini.write_int("QXInput", "input_0_port", 10021);
    const std::string rewritten = ini.text();
    const ini_file reread = ini_file::parse(rewritten);
    if (reread.read_value("vorlane", "INPUT_IP") != "10.0.0.1") std::abort();
    if (reread.read_int("qxinput", "input_0_port", -1) != 10021) std::abort();
    // Each write replaces one line or adds at most a section line and a key line.
    const std::size_t before = count_lines(original);
    const std::size_t after = count_lines(rewritten);
    if (after < before || after > before + 4) std::abort();
    return 0;
}
