// A Qt plugin that leaves a file named "loaded" beside itself as soon as its library is loaded, so
// that a test can tell whether a program loaded it. Requested as the generic plugin "vorlanetest".
#include <dlfcn.h>

#include <QGenericPlugin>
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

class test_plugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "test_plugin.json")

  public:
    QObject* create(const QString&, const QString&) override { return nullptr; }
};

#include "test_plugin.moc"
