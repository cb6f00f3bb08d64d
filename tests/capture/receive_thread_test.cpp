#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "capture/capture_api.h"
#include "capture/pcap_receive_thread.h"
#include "input/capture_input.h"
#include "tests/capture/capture_frames.h"
#include "tests/capture/fake_pcap.h"
#include "tests/capture/helper_thread.h"
#include "tests/capture/rx_recorder.h"

namespace vorlane {
namespace {

using namespace std::chrono_literals;
using test::box_frame;
using test::fake_library;
using test::fake_pcap_state;
using test::fake_read;
using test::frame_of_length;
using test::rx_recorder;
using events = std::vector<std::string>;

const std::string filter_a =
    "ip and udp and ( ( dst port 10021 and src host 172.31.24.10 and dst host 172.31.24.1 ) )";
const std::string filter_b =
    "ip and udp and ( ( dst port 10022 and src host 10.0.0.10 and dst host 10.0.0.1 ) )";

fake_read frame_read(std::vector<std::uint8_t> bytes, std::uint32_t wire_length = 0) {
    return {fake_read::kind::frame, std::move(bytes), wire_length};
}
const fake_read timeout_read{fake_read::kind::timeout, {}, 0};
const fake_read error_read{fake_read::kind::error, {}, 0};

events without_idle(events all) {
    all.erase(std::remove(all.begin(), all.end(), "idle"), all.end());
    return all;
}

// The receive thread over the stand-in capture library, behind the capture helper's worker, reporting
// to a recorder that plays the main window.
class ReceiveThreadTest : public testing::Test {
  protected:
    void SetUp() override {
        fake.reset();
        script_adapters();
        if (load_library) {
            ASSERT_TRUE(load_capture_library(FAKE_PCAP_PATH));
        }
        helper = std::make_unique<test::helper_thread>();
        thread = std::make_unique<TPCapReceiveThread>(recorder, helper->channel());
        recorder.serve(thread.get());
    }
    void TearDown() override {
        end_thread();
        helper.reset();
        unload_capture_library();
    }
    void end_thread() {
        if (!thread) return;
        thread->terminate();
        thread->wait_for_end();
        recorder.serve(nullptr);
        thread.reset();
    }

    void script_adapters() {
        const std::lock_guard guard(fake.lock);
        fake.adapters = {{"v6only", {{AF_INET6, {}, {}}}},
                         {"eth0", {{AF_INET, {172, 31, 24, 1}, {255, 255, 255, 0}}}},
                         {"eth1", {{AF_INET, {10, 0, 0, 1}, {255, 255, 0, 0}}}}};
    }
    void script_reads(std::initializer_list<fake_read> reads) {
        const std::lock_guard guard(fake.lock);
        fake.reads.insert(fake.reads.end(), reads.begin(), reads.end());
    }
    void start(const std::string& ip = "172.31.24.1", const std::string& filter = filter_a) {
        thread->start_capture(
            {ip, filter, {"172.31.24.10", "172.31.24.11"}, {"172.31.24.1", "172.31.24.1"}, {10021, 10021}});
    }
    template <typename F>
    auto with_fake(F f) {
        const std::lock_guard guard(fake.lock);
        return f(fake);
    }
    bool wait_for(const std::string& event, std::size_t n = 1) { return recorder.wait_for_count(event, n); }
    // The thread closes its handle after its last notification or report; wait for that.
    bool wait_until_closed() {
        for (int k = 0; k < 1000; ++k) {
            if (with_fake([](fake_pcap_state& f) { return f.closes == f.opens; })) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    bool load_library = true;
    fake_library library{FAKE_PCAP_PATH};
    fake_pcap_state& fake = library.state();
    rx_recorder recorder;
    std::unique_ptr<test::helper_thread> helper;
    std::unique_ptr<TPCapReceiveThread> thread;
};

TEST_F(ReceiveThreadTest, WaitsUntilAskedToStart) {
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(with_fake([](auto& f) { return f.enumerations; }), 0);
    EXPECT_TRUE(recorder.events().empty());
}

// The nice values of this process's threads, from the 19th field of /proc/self/task/*/stat.
std::vector<int> thread_nice_values() {
    std::vector<int> values;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        std::string field;
        for (int k = 3; k < 19 && fields >> field; ++k) {
        }
        int nice = 0;
        if (fields >> nice) values.push_back(nice);
    }
    return values;
}

TEST_F(ReceiveThreadTest, RunsAtALoweredPriority) {
    const int own = getpriority(PRIO_PROCESS, gettid());
    const int lowered = std::min(own + TPCapReceiveThread::nice_increment, 19);
    bool found = false;
    for (int k = 0; k < 200 && !found; ++k) {
        const std::vector<int> values = thread_nice_values();
        found = std::find(values.begin(), values.end(), lowered) != values.end();
        if (!found) std::this_thread::sleep_for(5ms);
    }
    EXPECT_TRUE(found) << "no thread runs at nice " << lowered;
}

TEST_F(ReceiveThreadTest, OpensTheAdapterOfTheAddressWithTheFixedParameters) {
    start();
    ASSERT_TRUE(wait_for("connected"));
    with_fake([](fake_pcap_state& f) {
        EXPECT_EQ(f.opened_adapters, (std::vector<std::string>{"eth0"}));
        EXPECT_EQ(f.open_adapter_parameters, "65536 1 2");
        EXPECT_TRUE(f.nonblocking);
        EXPECT_EQ(f.compiled_filters, (std::vector<std::string>{filter_a}));
        const std::uint8_t mask[4] = {255, 255, 255, 0};
        std::uint32_t expected;
        std::memcpy(&expected, mask, 4);
        EXPECT_EQ(f.last_mask, expected);
        EXPECT_EQ(f.filters_installed, 1);
        EXPECT_EQ(f.programs_released, 1) << "the compiled program is released once installed";
    });
}

TEST_F(ReceiveThreadTest, AnyAddressCapturesOnTheFirstAdapterWithIpv4) {
    with_fake([](fake_pcap_state& f) { std::swap(f.adapters[1], f.adapters[2]); });
    start("0.0.0.0");
    ASSERT_TRUE(wait_for("connected"));
    EXPECT_EQ(with_fake([](auto& f) { return f.opened_adapters; }), (std::vector<std::string>{"eth1"}));
}

struct failure_case {
    const char* name;
    std::string connection_ip;
    std::string filter;
    void (*script)(fake_pcap_state&);
    std::string report;
};

class ReceiveThreadFailure : public ReceiveThreadTest, public testing::WithParamInterface<failure_case> {};

TEST_P(ReceiveThreadFailure, ReportsCountsClosesAndWaitsAgain) {
    const failure_case& c = GetParam();
    with_fake([&](fake_pcap_state& f) { c.script(f); });
    start(c.connection_ip, c.filter);
    ASSERT_TRUE(wait_for("failure"));
    EXPECT_EQ(recorder.events(), (events{"status:" + c.report, "failure"}));
    EXPECT_TRUE(wait_until_closed()) << "an opened adapter is closed again";
    EXPECT_EQ(with_fake([](fake_pcap_state& f) { return f.programs_released - f.programs_compiled; }), 0);

    // Back to waiting: a good request afterwards captures.
    fake.reset();
    script_adapters();
    start();
    ASSERT_TRUE(wait_for("connected"));
    EXPECT_EQ(recorder.count("failure"), 1u);
}

void nothing(fake_pcap_state&) {}

void PrintTo(const failure_case& c, std::ostream* out) {
    *out << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceiveThreadFailure,
    testing::Values(
        failure_case{"empty_address", "", filter_a, nothing,
                     "Error QXE-RECV-103: No connection IP address specified"},
        failure_case{"adapter_not_found", "10.9.9.9", filter_a, nothing,
                     "Error QXE-RECV-104: No netword device found for IP 10.9.9.9"},
        failure_case{"leading_zero_is_another_address", "172.31.024.1", filter_a, nothing,
                     "Error QXE-RECV-104: No netword device found for IP 172.31.024.1"},
        failure_case{"no_ipv4_adapter_for_any", "0.0.0.0", filter_a,
                     [](fake_pcap_state& f) { f.adapters.erase(f.adapters.begin() + 1, f.adapters.end()); },
                     "Error QXE-RECV-104: No netword device found for IP 0.0.0.0"},
        failure_case{"enumeration_fails", "172.31.24.1", filter_a,
                     [](fake_pcap_state& f) { f.enumeration_fails = true; },
                     "Error QXE-RECV-104: No netword device found for IP 172.31.24.1"},
        failure_case{"open_fails", "172.31.24.1", filter_a, [](fake_pcap_state& f) { f.open_fails = true; },
                     "Error QXE-RECV-105: Unable to open adapter 'eth0'"},
        failure_case{"cannot_read_without_blocking", "172.31.24.1", filter_a,
                     [](fake_pcap_state& f) { f.nonblock_fails = true; },
                     "Error QXE-RECV-105: Unable to open adapter 'eth0'"},
        failure_case{"no_descriptor_to_wait_on", "172.31.24.1", filter_a,
                     [](fake_pcap_state& f) { f.no_selectable_descriptor = true; },
                     "Error QXE-RECV-105: Unable to open adapter 'eth0'"},
        failure_case{"not_ethernet", "172.31.24.1", filter_a, [](fake_pcap_state& f) { f.link_type = 113; },
                     "Error QXE-RECV-106: Non-ethernet network detected (unsupported)."},
        failure_case{"empty_filter", "172.31.24.1", "", nothing,
                     "Error QXE-RECV-107: No packet filter specified."},
        failure_case{"filter_syntax_error", "172.31.24.1", filter_a,
                     [](fake_pcap_state& f) { f.compile_fails = true; },
                     "Error QXE-RECV-108: Packet filter syntax error."},
        failure_case{"set_filter_fails", "172.31.24.1", filter_a,
                     [](fake_pcap_state& f) { f.set_filter_fails = true; },
                     "Error QXE-RECV-109: Error setting capture filter."}),
    [](const testing::TestParamInfo<failure_case>& row) { return row.param.name; });

class ReceiveThreadWithoutLibrary : public ReceiveThreadTest {
  protected:
    ReceiveThreadWithoutLibrary() { load_library = false; }
};

TEST_F(ReceiveThreadWithoutLibrary, ReportsThatTheLibraryIsRequiredOnEveryStart) {
    ASSERT_FALSE(capture_library_ready());
    start();
    ASSERT_TRUE(wait_for("failure"));
    start();
    ASSERT_TRUE(wait_for("failure", 2));
    EXPECT_EQ(recorder.events(), (events{"status:Error QXE-RECV-112: WinPCap is not installed", "failure",
                                         "status:Error QXE-RECV-112: WinPCap is not installed", "failure"}));
}

TEST_F(ReceiveThreadTest, IdleOncePerQuietSpellThenDatagramThenDisconnected) {
    script_reads({timeout_read, timeout_read, timeout_read, frame_read(box_frame(11, "hello")), timeout_read,
                  timeout_read, error_read});
    start();
    ASSERT_TRUE(wait_for("disconnected"));
    EXPECT_EQ(recorder.events(), (events{"connected", "idle", "datagram", "idle", "disconnected"}));
    rx_datagram d;
    ASSERT_TRUE(thread->take_datagram(&d));
    EXPECT_EQ(d.input_index, 1);
    EXPECT_FALSE(d.bad_checksum);
    EXPECT_FALSE(thread->take_datagram(&d));
}

TEST_F(ReceiveThreadTest, FramesNotStoredWholeAreSkippedSilentlyAndKeepTheIdleState) {
    // The first 100 bytes of a 200-byte frame: its datagram was cut short by the capture.
    std::vector<std::uint8_t> cut = frame_of_length(200);
    cut.resize(100);
    script_reads({timeout_read, frame_read(frame_of_length(max_frame_length + 1)), timeout_read,
                  frame_read(cut, 200), timeout_read, frame_read(frame_of_length(max_frame_length)),
                  timeout_read, error_read});
    start();
    ASSERT_TRUE(wait_for("disconnected"));
    EXPECT_EQ(recorder.events(), (events{"connected", "idle", "datagram", "idle", "disconnected"}));
    rx_datagram d;
    ASSERT_TRUE(thread->take_datagram(&d));
    EXPECT_EQ(d.frame_length, static_cast<std::int32_t>(max_frame_length));
    EXPECT_FALSE(thread->take_datagram(&d));
}

// A main thread that does not take frames gets one notification, however many frames come; the
// ring keeps 8191 of them. Once it has taken them all, the next frame notifies again.
TEST_F(ReceiveThreadTest, StalledMainThreadHasOneNotificationWaitingAndFullRingDiscards) {
    const fake_read read = frame_read(box_frame(10, "x"));
    with_fake([&](fake_pcap_state& f) {
        for (std::size_t k = 0; k < frame_ring_slots; ++k) f.reads.push_back(read);
    });
    start();
    ASSERT_TRUE(wait_for("idle"));
    EXPECT_EQ(recorder.count("datagram"), 1u);
    rx_datagram d;
    std::size_t taken = 0;
    while (thread->take_datagram(&d)) ++taken;
    EXPECT_EQ(taken, frame_ring_slots - 1);
    script_reads({read});
    EXPECT_TRUE(wait_for("datagram", 2));
}

TEST_F(ReceiveThreadTest, ReadErrorEndsTheCaptureWithoutReportAndWaits) {
    script_reads({error_read});
    start();
    ASSERT_TRUE(wait_for("disconnected"));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(recorder.events(), (events{"connected", "disconnected"}));
    EXPECT_EQ(with_fake([](auto& f) { return f.opens; }), 1) << "reopening is the controller's decision";
    EXPECT_EQ(with_fake([](auto& f) { return f.closes; }), 1);
}

TEST_F(ReceiveThreadTest, StartDuringCaptureReopensWithTheNewSettings) {
    start();
    ASSERT_TRUE(wait_for("connected"));
    start("10.0.0.1", filter_b);
    ASSERT_TRUE(wait_for("connected", 2));
    EXPECT_EQ(without_idle(recorder.events()), (events{"connected", "disconnected", "connected"}));
    with_fake([](fake_pcap_state& f) {
        EXPECT_EQ(f.opened_adapters, (std::vector<std::string>{"eth0", "eth1"}));
        EXPECT_EQ(f.compiled_filters, (std::vector<std::string>{filter_a, filter_b}));
        EXPECT_EQ(f.closes, 1);
    });
}

// The controller's restart stops the input right after it was opened, usually before the thread
// has woken for the start: the stop must still win, or the old capture runs on.
TEST_F(ReceiveThreadTest, StopRightBehindAStartIsNotLost) {
    start();
    thread->stop_capture();
    std::this_thread::sleep_for(300ms);
    const events seen = without_idle(recorder.events());
    EXPECT_TRUE(seen.empty() || seen == (events{"connected", "disconnected"}))
        << testing::PrintToString(seen);
    EXPECT_TRUE(wait_until_closed());
}

TEST_F(ReceiveThreadTest, StopEndsTheCaptureAndTheThreadWaits) {
    start();
    ASSERT_TRUE(wait_for("connected"));
    thread->stop_capture();
    ASSERT_TRUE(wait_for("disconnected"));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(with_fake([](auto& f) { return f.opens; }), 1);
    EXPECT_EQ(with_fake([](auto& f) { return f.closes; }), 1);
    start();
    EXPECT_TRUE(wait_for("connected", 2));
}

TEST_F(ReceiveThreadTest, TerminatesPromptlyWhileCapturing) {
    start();
    ASSERT_TRUE(wait_for("idle"));
    const auto asked = std::chrono::steady_clock::now();
    thread->terminate();
    thread->wait_for_end();
    // A read time-out is 100 ms; a generous bound still tells a prompt end from a hang.
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
    EXPECT_TRUE(wait_until_closed()) << "handle closed on the way out";
}

TEST_F(ReceiveThreadTest, TerminatesPromptlyWhileWaiting) {
    const auto asked = std::chrono::steady_clock::now();
    thread->terminate();
    thread->wait_for_end();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
}

// The main thread is blocked waiting for the receive thread while a report waits for the main
// thread: termination must release the report.
TEST_F(ReceiveThreadTest, ReportDuringShutDownDoesNotDeadlock) {
    recorder.hold_reports(true);
    start("10.9.9.9");
    ASSERT_TRUE(recorder.wait_for_requests(1));
    thread->terminate();
    thread->wait_for_end();
    recorder.hold_reports(false);
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(recorder.events().empty()) << "a report that arrives after termination does nothing";
}

TEST_F(ReceiveThreadTest, ReportWhileTheApplicationClosesEndsTheThread) {
    recorder.set_closing(true);
    start("10.9.9.9");
    ASSERT_TRUE(wait_for("failure"));
    thread->wait_for_end();  // returns only because the report has terminated the thread
    EXPECT_EQ(recorder.events(),
              (events{"status:Error QXE-RECV-104: No netword device found for IP 10.9.9.9", "failure"}));
}

TEST_F(ReceiveThreadTest, ExceptionWhileHandlingAFrameStopsTheCaptureWithoutCountingAFailure) {
    recorder.throw_on(WM_RX_DATAGRAM);
    script_reads({frame_read(box_frame(10, "x"))});
    start();
    ASSERT_TRUE(wait_for("disconnected"));
    EXPECT_EQ(without_idle(recorder.events()),
              (events{"connected", "status:Error QXE-RECV-102: (std::runtime_error) scripted post failure",
                      "disconnected"}));
    EXPECT_TRUE(wait_until_closed());
}

TEST_F(ReceiveThreadTest, ExceptionWhileOpeningIsReportedAndCounted) {
    recorder.throw_on(WM_RX_CONNECTED);
    start();
    ASSERT_TRUE(wait_for("failure"));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(recorder.events(),
              (events{"status:Error QXE-RECV-101: (std::runtime_error) scripted post failure", "failure"}));
    EXPECT_TRUE(wait_until_closed());
    EXPECT_EQ(with_fake([](auto& f) { return f.opens; }), 1);
}

TEST_F(ReceiveThreadTest, ExceptionInTheReadCallStillTellsTheMainWindowTheInputIsClosed) {
    script_reads({{fake_read::kind::exception, {}, 0}});
    start();
    ASSERT_TRUE(wait_for("disconnected"));
    EXPECT_EQ(recorder.events(),
              (events{"connected", "status:Error QXE-RECV-101: (std::runtime_error) scripted read failure",
                      "failure", "disconnected"}));
    EXPECT_TRUE(wait_until_closed());
}

// open_input and close_input as the controller calls them.
class CaptureInputTest : public ReceiveThreadTest {
  protected:
    CaptureInputTest() {
        config.input_ip = "0.0.0.0";
        config.input_src_ip[0] = "172.31.24.10";
        config.input_src_ip[1] = "172.31.24.11";
        config.input_dest_ip[0] = config.input_dest_ip[1] = "172.31.24.1";
        config.input_port[0] = config.input_port[1] = 10021;
    }
    config_manager config;
};

// The same clauses untagged, behind one VLAN tag and behind two.
TEST_F(CaptureInputTest, FilterHasOneClausePerJunctionBox) {
    const auto tagged_too = [](const std::string& untagged) {
        return untagged + " or ( vlan and ( " + untagged + " or ( vlan and " + untagged + " ) ) )";
    };
    EXPECT_EQ(build_capture_filter(config),
              tagged_too(
                  "ip and udp and ( ( dst port 10021 and src host 172.31.24.10 and dst host 172.31.24.1 ) or "
                  "( dst port 10021 and src host 172.31.24.11 and dst host 172.31.24.1 ) )"));
    config.input_port[1] = 10022;
    config.input_src_ip[1] = "10.0.0.11";
    config.input_dest_ip[1] = "10.0.0.1";
    EXPECT_EQ(build_capture_filter(config),
              tagged_too(
                  "ip and udp and ( ( dst port 10021 and src host 172.31.24.10 and dst host 172.31.24.1 ) or "
                  "( dst port 10022 and src host 10.0.0.11 and dst host 10.0.0.1 ) )"));
}

TEST_F(CaptureInputTest, OpenStartsTheCaptureWithTheConfiguredAdapterAndFilter) {
    config.input_ip = "10.0.0.1";
    EXPECT_TRUE(open_input(thread.get(), config, recorder));
    ASSERT_TRUE(wait_for("connected"));
    with_fake([&](fake_pcap_state& f) {
        EXPECT_EQ(f.opened_adapters, (std::vector<std::string>{"eth1"}));
        EXPECT_EQ(f.compiled_filters, (std::vector<std::string>{build_capture_filter(config)}));
    });
    close_input(thread.get(), recorder);
    ASSERT_TRUE(wait_for("disconnected"));
    EXPECT_EQ(recorder.count("failure"), 0u);
}

TEST_F(CaptureInputTest, WithoutAThreadOpenAndCloseReport) {
    EXPECT_FALSE(open_input(nullptr, config, recorder));
    close_input(nullptr, recorder);
    EXPECT_EQ(recorder.events(), (events{"status:Error QXE-102: Receive thread not running", "failure",
                                         "status:Error QXE-107: Receive thread not running"}));
}

}  // namespace
}  // namespace vorlane
