#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "ui/form_style.h"

namespace {

// The windows need an application object with a screen. The tests draw off screen, whatever
// display the machine has, so that they never pop up on a developer's desktop.
class WidgetApplication : public testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        vorlane::register_font_substitutes();
    }
    void TearDown() override { application.reset(); }

  private:
    int argc = 1;
    char name[11] = "ui_tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> application;
};

const testing::Environment* const widget_application =
    testing::AddGlobalTestEnvironment(new WidgetApplication);

}  // namespace
