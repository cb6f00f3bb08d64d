#include "tools/tag_writer.h"

namespace vorlane {

void append_tag_block(std::string& line, const tag_fields& fields) {
    char block[max_tag_block_length + 1];
    line.append(block, write_tag_block(block, sizeof block, fields));
}

}  // namespace vorlane
