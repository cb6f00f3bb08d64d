#include "tests/package/test_plugin.h"

#include <dlfcn.h>

#include <fstream>
#include <string>

namespace {

void mark_folder_of_this_library() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&mark_folder_of_this_library), &info) == 0 ||
        info.dli_fname == nullptr)
        return;
    const std::string library = info.dli_fname;
    std::ofstream(library.substr(0, library.rfind('/') + 1) + "loaded") << "loaded\n";
}

// Run by the dynamic loader: before Qt asks the plugin for anything.
[[maybe_unused]] const bool marked = (mark_folder_of_this_library(), true);

}  // namespace
