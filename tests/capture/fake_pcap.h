#pragma once

#include <dlfcn.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// Script and record of the stand-in capture library (fake_pcap.cpp): a shared object with the
// same entry points as libpcap, loaded through load_capture_library like the real one. The test
// program reaches the same instance through fake_pcap_control().
namespace vorlane::test {

struct fake_address {
    int family;  // AF_INET or AF_INET6
    std::array<std::uint8_t, 4> address;
    std::array<std::uint8_t, 4> netmask;
    bool has_netmask = true;
};

struct fake_adapter {
    std::string name;
    std::vector<fake_address> addresses;
};

// One answer of pcap_next_ex.
struct fake_read {
    // exception: the read call throws, as no real library would.
    enum class kind { frame, timeout, error, exception };
    kind what = kind::timeout;
    std::vector<std::uint8_t> bytes;  // captured bytes
    std::uint32_t wire_length = 0;    // 0: the captured length
};

struct fake_pcap_state {
    std::mutex lock;

    // Script.
    bool enumeration_fails = false;
    std::vector<fake_adapter> adapters;
    bool open_fails = false;
    bool nonblock_fails = false;
    bool no_selectable_descriptor = false;
    int link_type = 1;  // DLT_EN10MB
    bool compile_fails = false;
    bool set_filter_fails = false;
    // Read one by one; when empty every read finds nothing. A read that finds nothing returns at
    // once, as a non-blocking handle does; the handle's descriptor never becomes readable, so
    // the caller's wait on it lasts its whole time-out.
    std::deque<fake_read> reads;

    // Record.
    int enumerations = 0;
    int lists_released = 0;
    int opens = 0;  // handles handed out
    int closes = 0;
    int programs_compiled = 0;
    int programs_released = 0;
    int filters_installed = 0;
    std::vector<std::string> opened_adapters;  // every attempt
    std::string open_adapter_parameters;       // "snaplen promisc timeout" of the last open
    bool nonblocking = false;                  // the last handle was switched to non-blocking reads
    std::vector<std::string> compiled_filters;
    std::uint32_t last_mask = 0;

    void reset() {
        const std::lock_guard guard(lock);
        enumeration_fails = open_fails = nonblock_fails = no_selectable_descriptor = false;
        compile_fails = set_filter_fails = nonblocking = false;
        adapters.clear();
        link_type = 1;
        reads.clear();
        enumerations = lists_released = opens = closes = 0;
        programs_compiled = programs_released = filters_installed = 0;
        opened_adapters.clear();
        open_adapter_parameters.clear();
        compiled_filters.clear();
        last_mask = 0;
    }
};

}  // namespace vorlane::test

extern "C" vorlane::test::fake_pcap_state* fake_pcap_control();

namespace vorlane::test {

// Keeps the stand-in library loaded for as long as a test uses its control block, whether or
// not the capture library binding holds it.
class fake_library {
  public:
    explicit fake_library(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
        if (handle == nullptr) throw std::runtime_error(dlerror());
        auto control = reinterpret_cast<fake_pcap_state* (*)()>(dlsym(handle, "fake_pcap_control"));
        if (control == nullptr) throw std::runtime_error("fake_pcap_control missing");
        control_block = control();
    }
    ~fake_library() { dlclose(handle); }
    fake_library(const fake_library&) = delete;
    fake_library& operator=(const fake_library&) = delete;

    fake_pcap_state& state() { return *control_block; }

  private:
    void* handle;
    fake_pcap_state* control_block;
};

}  // namespace vorlane::test
