#include "validation/rule_scheme.h"

#include "validation/rule_interpreter.h"

namespace vorlane::rules {

bool passes(const field_rule& r, std::string_view f) {
    return interpreter_detail::passes_length(r, f) && interpreter_detail::passes_kind(r, f);
}

}  // namespace vorlane::rules
