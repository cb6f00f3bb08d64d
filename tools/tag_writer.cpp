#include "tools/tag_writer.h"

namespace vorlane {

void append_tag_block(std::string& line, const tag_fields& fields) {
    std::string block = "s:";
    block += fields.source;
    block += ",n:" + std::to_string(fields.line_count);
    block += ",c:" + std::to_string(fields.unix_ms);
    if (fields.group_line > 0)
        block += ",g:" + std::to_string(fields.group_line) + '-' + std::to_string(fields.group_size) + '-' +
                 std::to_string(fields.group_id);
    unsigned sum = 0;
    for (const char c : block) sum ^= static_cast<unsigned char>(c);
    constexpr const char* hex = "0123456789ABCDEF";
    line += '\\';
    line += block;
    line += '*';
    line += hex[sum >> 4];
    line += hex[sum & 0xF];
    line += '\\';
}

}  // namespace vorlane
