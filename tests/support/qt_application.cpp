#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

// The sockets need an event loop, and an event loop needs the application object; one lives
// for the whole test program.
class QtApplication : public testing::Environment {
  public:
    void SetUp() override { application = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { application.reset(); }

  private:
    int argc = 1;
    char name[11] = "qt_tests";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> application;
};

const testing::Environment* const qt_application = testing::AddGlobalTestEnvironment(new QtApplication);

}  // namespace
