#include "capture/pcap_receive_thread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <memory>
#include <utility>

#include "base/exception_name.h"
#include "capture/capture_api.h"

namespace vorlane {

namespace {

using namespace std::chrono_literals;

constexpr auto start_wait = 100ms;
constexpr int snapshot_length = 65536;
constexpr int promiscuous = 1;
// Bounds the delay of WM_RX_IDLE, of a stop request and of termination; kept by read_frame.
constexpr auto read_timeout = 100ms;
// The time-out handed to the capture library is its packet buffer time-out: on Linux the kernel
// holds frames in a block until the block fills or this timer retires it. With the read
// time-out there, a frame could wait 100 ms before the thread even saw it, on top of the 100 ms
// send service; a short buffer time-out keeps the capture's share of the latency small.
constexpr int packet_buffer_timeout_ms = 2;
constexpr int optimise = 1;
constexpr int lowest_nice = 19;

void lower_own_priority() {
    const pid_t thread_id = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread_id);
    if (nice == -1 && errno != 0) return;
    // Should this fail the thread keeps the normal priority, which loses only the preference.
    setpriority(PRIO_PROCESS, thread_id, std::min(nice + TPCapReceiveThread::nice_increment, lowest_nice));
}

struct capture_handle_close {
    void operator()(pcap_t* handle) const {
        if (capture_api.pcap_close != nullptr) capture_api.pcap_close(handle);
    }
};
using capture_handle = std::unique_ptr<pcap_t, capture_handle_close>;

// A compiled filter program. The handle keeps its own copy once the filter is installed, so the
// program is released when this goes out of scope.
class compiled_filter {
  public:
    compiled_filter() = default;
    compiled_filter(const compiled_filter&) = delete;
    compiled_filter& operator=(const compiled_filter&) = delete;
    ~compiled_filter() {
        if (compiled && capture_api.pcap_freecode != nullptr) capture_api.pcap_freecode(&program);
    }

    bool compile(pcap_t* handle, const std::string& text, std::uint32_t mask) {
        compiled = capture_api.pcap_compile(handle, &program, text.c_str(), optimise, mask) >= 0;
        return compiled;
    }
    bpf_program* get() { return &program; }

  private:
    bpf_program program{};
    bool compiled = false;
};

// The next frame: 1 with a frame, 0 when none came within the read time-out, negative on error.
// libpcap on Linux leaves its read time-out to the kernel's block timer, which does not fire while
// no frame at all arrives: a blocking read would then never return on a quiet network, so there
// would be no WM_RX_IDLE and no way to stop or terminate. The handle is non-blocking instead and
// the time-out is kept here with poll on its descriptor.
int read_frame(pcap_t* handle, int descriptor, pcap_pkthdr** header, const u_char** data) {
    const auto deadline = std::chrono::steady_clock::now() + read_timeout;
    for (;;) {
        const int result = capture_api.pcap_next_ex(handle, header, data);
        if (result != 0) return result;
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 0;
        pollfd readable{descriptor, POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(left.count()));
        if (ready == 0) return 0;
        if (ready < 0 && errno != EINTR) return PCAP_ERROR;
    }
}

// Membership of the multicast groups among the destinations, on the adapter with the given
// address, for as long as this lives. The socket is bound to the adapter's own address, so no
// datagram is ever delivered to it; it exists only to hold the memberships, which the kernel
// drops when it is closed.
class group_membership {
  public:
    group_membership() = default;
    group_membership(const group_membership&) = delete;
    group_membership& operator=(const group_membership&) = delete;
    ~group_membership() {
        if (descriptor >= 0) ::close(descriptor);
    }

    // Joins every multicast group among the destinations; the first that cannot be joined, or
    // empty when all were.
    std::string join(const std::string& adapter_ip, const std::array<std::string, 2>& destinations) {
        in_addr adapter{};
        if (inet_pton(AF_INET, adapter_ip.c_str(), &adapter) != 1) adapter.s_addr = htonl(INADDR_ANY);
        for (std::size_t k = 0; k < destinations.size(); ++k) {
            in_addr group{};
            if (inet_pton(AF_INET, destinations[k].c_str(), &group) != 1 ||
                !IN_MULTICAST(ntohl(group.s_addr)))
                continue;
            if (k > 0 && destinations[0] == destinations[k]) continue;
            if (!open(adapter)) return destinations[k];
            const ip_mreq request{group, adapter};
            if (setsockopt(descriptor, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
                return destinations[k];
        }
        return {};
    }

  private:
    bool open(in_addr adapter) {
        if (descriptor >= 0) return true;
        descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
        if (descriptor < 0) return false;
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr = adapter;
        return ::bind(descriptor, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }

    int descriptor = -1;
};

// "(type) message" of the exception being handled; called inside a handler only.
std::string current_exception_text() {
    try {
        throw;
    } catch (const std::exception& e) {
        return "(" + exception_name(e) + ") " + e.what();
    } catch (...) {
        return "(unknown exception) no description";
    }
}

}  // namespace

TPCapReceiveThread::TPCapReceiveThread(rx_target& reports_to)
    : target(reports_to), thread([this] { execute(); }) {}

TPCapReceiveThread::~TPCapReceiveThread() {
    terminate();
    wait_for_end();
}

void TPCapReceiveThread::start_capture(const capture_request& request) {
    {
        const std::lock_guard guard(request_lock);
        settings = request;
        capture_wanted = true;
        ++request_number;
    }
    request_changed.notify_all();
}

void TPCapReceiveThread::stop_capture() {
    {
        const std::lock_guard guard(request_lock);
        capture_wanted = false;
        ++request_number;
    }
    request_changed.notify_all();
}

void TPCapReceiveThread::terminate() {
    {
        const std::lock_guard guard(report_lock);
        terminated = true;
    }
    report_done.notify_all();
    // Wakes a waiting thread at once; taking the lock orders the flag before its wait check.
    { const std::lock_guard guard(request_lock); }
    request_changed.notify_all();
}

void TPCapReceiveThread::wait_for_end() {
    if (thread.joinable()) thread.join();
}

void TPCapReceiveThread::execute() {
    lower_own_priority();
    // The request the last cycle served: a capture that ended by itself (read error, exception)
    // is not opened again until the main thread asks anew.
    std::uint64_t served = 0;
    while (!terminated) {
        capture_request cycle;
        try {
            if (!accept_start_request(served, cycle)) continue;
        } catch (...) {
            report_current_exception("Error QXE-RECV-100: ", true);
            continue;
        }
        capture_cycle(cycle, served);
    }
}

bool TPCapReceiveThread::accept_start_request(std::uint64_t& served, capture_request& cycle) {
    std::unique_lock guard(request_lock);
    const bool requested = request_changed.wait_for(
        guard, start_wait, [&] { return terminated || (capture_wanted && request_number != served); });
    if (!requested || terminated) return false;
    served = request_number;
    cycle = settings;
    return true;
}

bool TPCapReceiveThread::superseded(std::uint64_t request) {
    if (terminated) return true;
    const std::lock_guard guard(request_lock);
    return request_number != request;
}

// One start cycle: open the adapter, install the filter, capture until stopped, close. Every
// failure before the capture is reported and counts as a failed attempt to open the input.
void TPCapReceiveThread::capture_cycle(const capture_request& cycle, std::uint64_t request) {
    capture_handle handle;
    bool connected = false;
    try {
        if (!capture_library_ready()) {
            report("Error QXE-RECV-112: WinPCap is not installed", true);
            return;
        }
        if (cycle.connection_ip.empty()) {
            report("Error QXE-RECV-103: No connection IP address specified", true);
            return;
        }
        const std::string address =
            cycle.connection_ip == "0.0.0.0" ? first_adapter_ip() : cycle.connection_ip;
        std::uint32_t mask = 0;
        const std::string adapter = find_adapter_by_ip(address, mask);
        if (adapter.empty()) {
            report("Error QXE-RECV-104: No netword device found for IP " + address, true);
            return;
        }
        if (superseded(request)) return;
        char error[PCAP_ERRBUF_SIZE] = {};
        handle.reset(capture_api.pcap_open_live(adapter.c_str(), snapshot_length, promiscuous,
                                                packet_buffer_timeout_ms, error));
        // A handle that cannot be read with the time-out kept here counts as not opened.
        int descriptor = -1;
        if (handle && capture_api.pcap_setnonblock(handle.get(), 1, error) == 0)
            descriptor = capture_api.pcap_get_selectable_fd(handle.get());
        if (descriptor < 0) {
            report("Error QXE-RECV-105: Unable to open adapter '" + adapter + "'", true);
            return;
        }
        if (superseded(request)) return;
        if (capture_api.pcap_datalink(handle.get()) != DLT_EN10MB) {
            report("Error QXE-RECV-106: Non-ethernet network detected (unsupported).", true);
            return;
        }
        if (superseded(request)) return;
        if (cycle.filter.empty()) {
            report("Error QXE-RECV-107: No packet filter specified.", true);
            return;
        }
        {
            compiled_filter program;
            if (!program.compile(handle.get(), cycle.filter, mask)) {
                report("Error QXE-RECV-108: Packet filter syntax error.", true);
                return;
            }
            if (superseded(request)) return;
            if (capture_api.pcap_setfilter(handle.get(), program.get()) < 0) {
                report("Error QXE-RECV-109: Error setting capture filter.", true);
                return;
            }
        }
        group_membership groups;
        const std::string not_joined = groups.join(address, cycle.destination_ips);
        // The capture goes on: the group may still reach the adapter, flooded by the switch.
        if (!not_joined.empty())
            report("Error QXE-RECV-110: Unable to join multicast group " + not_joined, false);
        if (superseded(request)) return;
        ring.set_inputs(input_addresses(cycle.source_ips, cycle.destination_ips, cycle.destination_ports));
        post(WM_RX_CONNECTED);
        connected = true;
        capture_loop(handle.get(), descriptor, request);
        connected = false;
        post(WM_RX_DISCONNECTED);
    } catch (...) {
        report_current_exception("Error QXE-RECV-101: ", true);
        // The main window counts the input as open since WM_RX_CONNECTED; without this it would
        // never arrange a new attempt.
        if (connected) {
            try {
                post(WM_RX_DISCONNECTED);
            } catch (...) {
            }
        }
    }
}

void TPCapReceiveThread::capture_loop(pcap_t* handle, int descriptor, std::uint64_t request) {
    bool idle_sent = false;
    while (capture_api.library != nullptr && !superseded(request)) {
        pcap_pkthdr* header = nullptr;
        const u_char* data = nullptr;
        const int result = read_frame(handle, descriptor, &header, &data);
        // An error or the end of the capture ends the loop without a report: reopening is the
        // controller's decision.
        if (result < 0 || terminated) return;
        try {
            if (result == 0) {
                if (!idle_sent) {
                    post(WM_RX_IDLE);
                    idle_sent = true;
                }
                continue;
            }
            // A frame too long for a slot, or not captured whole, is no sign of traffic.
            frame_skip why = frame_skip::not_ipv4_udp;
            if (!ring.store_captured(data, header->caplen, header->len, &why) && why == frame_skip::oversize)
                continue;
            idle_sent = false;
            if (ring.claim_notification()) post(WM_RX_DATAGRAM);
        } catch (...) {
            report_current_exception("Error QXE-RECV-102: ", false);
            return;
        }
    }
}

void TPCapReceiveThread::report(std::string_view text, bool input_failure) noexcept {
    try {
        {
            const std::lock_guard guard(report_lock);
            if (terminated) return;
            report_text = text;
            report_failed = input_failure;
            report_pending = true;
        }
        target.post_report();
        // The main thread may be waiting for this thread to end; termination releases the wait,
        // and a report that arrives after that does nothing.
        std::unique_lock guard(report_lock);
        report_done.wait(guard, [this] { return !report_pending || terminated; });
    } catch (...) {
        // A report that cannot be delivered is lost; capturing goes on.
    }
}

void TPCapReceiveThread::report_current_exception(std::string_view code, bool input_failure) noexcept {
    try {
        report(std::string(code) + current_exception_text(), input_failure);
    } catch (...) {
    }
}

void TPCapReceiveThread::run_report() {
    std::unique_lock guard(report_lock);
    if (!report_pending || terminated) return;
    const std::string text = std::exchange(report_text, {});
    const bool failed = std::exchange(report_failed, false);
    guard.unlock();

    // However the calls below end, the receive thread must not be left waiting.
    struct release_receive_thread {
        TPCapReceiveThread& self;
        ~release_receive_thread() {
            {
                const std::lock_guard done(self.report_lock);
                self.report_pending = false;
            }
            self.report_done.notify_all();
        }
    } release{*this};

    if (target.application_closing()) terminate();
    if (!text.empty()) target.update_status(text, true);
    if (failed) target.add_input_failure();
}

}  // namespace vorlane
