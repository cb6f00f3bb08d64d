#pragma once

#include <string>

#include "validation/tag_block.h"

namespace vorlane {

// Appends the TAG block of `fields` to `line`, for the tools that build datagrams as strings.
void append_tag_block(std::string& line, const tag_fields& fields);

}  // namespace vorlane
