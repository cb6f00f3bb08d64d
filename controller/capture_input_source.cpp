#include <memory>

#include "capture/capture_api.h"
#include "controller/input_source.h"
#include "input/capture_input.h"

namespace vorlane {

namespace {

class capture_input_source final : public input_source {
  public:
    capture_input_source(rx_target& reports_to, int helper_channel)
        : target(reports_to),
          loaded(load_capture_library()),
          thread(std::make_unique<TPCapReceiveThread>(reports_to, helper_channel)) {}

    ~capture_input_source() override {
        stop_thread();
        if (loaded) unload_capture_library();
    }

    bool library_loaded() const override { return loaded; }
    bool open_input(const config_manager& config) override {
        return vorlane::open_input(thread.get(), config, target);
    }
    void close_input() override { vorlane::close_input(thread.get(), target); }
    bool take_datagram(rx_datagram& record) override { return thread && thread->take_datagram(&record); }
    std::uint64_t skipped_frames(std::size_t row, frame_skip why) const override {
        return thread ? thread->skipped_frames(row, why) : 0;
    }
    void run_report() override {
        if (thread) thread->run_report();
    }
    void stop_thread() override {
        if (!thread) return;
        thread->terminate();
        thread->wait_for_end();
        thread.reset();
    }

  private:
    rx_target& target;
    bool loaded;
    std::unique_ptr<TPCapReceiveThread> thread;
};

}  // namespace

std::unique_ptr<input_source> make_capture_input(rx_target& target, int helper_channel) {
    return std::make_unique<capture_input_source>(target, helper_channel);
}

}  // namespace vorlane
