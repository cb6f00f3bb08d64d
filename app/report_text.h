#pragma once

#include <cstdio>
#include <exception>
#include <string>

#include "base/exception_name.h"

namespace vorlane {

// A status text from a printf pattern; longer texts are cut at 511 characters.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// "Error <code>: <exception>", as every part reports a failure it caught.
inline std::string error_text(const char* code, const std::exception& e) {
    return format("Error %s: %s", code, exception_name(e).c_str());
}

}  // namespace vorlane
