#pragma once

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

namespace vorlane {

// The readable class name of an exception ("std::bad_alloc", not "St9bad_alloc"), for the
// "Error QXE-nnn: %s" reports. Only called on error paths.
inline std::string exception_name(const std::exception& e) {
    const char* mangled = typeid(e).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> readable{abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                    std::free};
    return status == 0 && readable ? std::string(readable.get()) : std::string(mangled);
}

// "(type) message" of the exception being handled, for the same reports; called inside a
// handler only.
inline std::string current_exception_text() {
    try {
        throw;
    } catch (const std::exception& e) {
        return "(" + exception_name(e) + ") " + e.what();
    } catch (...) {
        return "(unknown exception) no description";
    }
}

}  // namespace vorlane
