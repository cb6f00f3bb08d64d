#pragma once

// A Qt plugin that leaves a file named "loaded" beside itself as soon as its library is loaded, so
// that a test can tell whether a program loaded it. Requested as the generic plugin "vorlanetest".
#include <QGenericPlugin>

class test_plugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "test_plugin.json")

  public:
    QObject* create(const QString&, const QString&) override { return nullptr; }
};
