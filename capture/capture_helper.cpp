#include "capture/capture_helper.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "base/error_texts.h"
#include "base/exception_name.h"
#include "capture/capabilities.h"
#include "capture/capture_api.h"
#include "capture/capture_channel.h"

namespace vorlane {

namespace {

using namespace std::chrono_literals;

constexpr int promiscuous = 1;
// Bounds the delay of a timeout message and, with it, of WM_RX_IDLE; kept by read_frame.
constexpr auto read_timeout = 100ms;
// The time-out handed to the capture library is its packet buffer time-out: on Linux the kernel
// holds frames in a block until the block fills or this timer retires it. With the read
// time-out there, a frame could wait 100 ms before the helper even saw it, on top of the 100 ms
// send service; a short buffer time-out keeps the capture's share of the latency small.
constexpr int packet_buffer_timeout_ms = 2;
constexpr int optimise = 1;
// read_frame's answer when a request waits on the channel, or it closed: the capture yields.
// The capture library's own answers are 1, 0 and negative.
constexpr int request_comes = 2;
// Where the helper keeps its end of the channel once every other descriptor is closed.
constexpr int helper_channel = 3;

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
    std::string join(const std::string& adapter_ip,
                     const std::array<std::string, junction_box_count>& destinations) {
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

// The worker's state: the channel, a request buffer and a batch of frames, each allocated once.
class capture_worker {
  public:
    explicit capture_worker(int to_thread)
        : channel(to_thread), request(std::make_unique<std::uint8_t[]>(max_request_length)) {}

    void serve() {
        while (!closed) {
            const long length = receive_message(channel, request.get(), max_request_length, -1);
            if (length < 0) return;
            // An interrupted wait: nothing came.
            if (length == 0) continue;
            message_header header;
            open_request asked;
            if (!read_request(request.get(), static_cast<std::size_t>(length), header, asked)) {
                say({any_session, message_kind::report, true},
                    error_text(reported_error::capture_request_malformed));
                say({any_session, message_kind::ended});
            } else if (header.kind == message_kind::open) {
                run_session(header.session, asked);
            }
        }
    }

  private:
    void say(const message_header& header, std::string_view text = {}) {
        if (!closed && !send_message(channel, header, text)) closed = true;
    }
    void report(std::uint64_t session, const std::string& text, bool input_failure) {
        say({session, message_kind::report, input_failure}, text);
    }

    // A request waits on the channel (or it closed): whatever this session was doing yields to it.
    bool request_waiting() const {
        pollfd readable{channel, POLLIN, 0};
        return closed || ::poll(&readable, 1, 0) != 0;
    }

    void run_session(std::uint64_t session, const open_request& asked) {
        bool ended = true;
        try {
            ended = capture(session, asked);
        } catch (...) {
            report(session, error_text(reported_error::capture_cycle_failed, {current_exception_text()}),
                   true);
        }
        if (ended) say({session, message_kind::ended});
    }

    // Opens the adapter, installs the filter and captures until a newer request comes (false)
    // or the capture fails or ends by itself (true). Every failure before the capture is
    // reported and counts as a failed attempt to open the input.
    bool capture(std::uint64_t session, const open_request& asked) {
        const auto fail = [&](const std::string& text) {
            report(session, text, true);
            return true;
        };
        if (!capture_library_ready()) return fail(error_text(reported_error::capture_library_missing));
        if (asked.address.empty()) return fail(error_text(reported_error::no_capture_address));
        const std::string address = adapter_ip(asked.address);
        std::uint32_t mask = 0;
        const std::string adapter = find_adapter_by_ip(address, mask);
        if (adapter.empty()) return fail(error_text(reported_error::no_adapter_for_address, {address}));
        if (request_waiting()) return false;
        char error[PCAP_ERRBUF_SIZE] = {};
        capture_handle handle(capture_api.pcap_open_live(adapter.c_str(), static_cast<int>(snapshot_length),
                                                         promiscuous, packet_buffer_timeout_ms, error));
        // A handle that cannot be read with the time-out kept here counts as not opened.
        int descriptor = -1;
        if (handle && capture_api.pcap_setnonblock(handle.get(), 1, error) == 0)
            descriptor = capture_api.pcap_get_selectable_fd(handle.get());
        if (descriptor < 0) return fail(error_text(reported_error::adapter_not_opened, {adapter}));
        if (request_waiting()) return false;
        if (capture_api.pcap_datalink(handle.get()) != DLT_EN10MB)
            return fail(error_text(reported_error::adapter_not_ethernet));
        if (request_waiting()) return false;
        if (asked.filter.empty()) return fail(error_text(reported_error::no_capture_filter));
        {
            compiled_filter program;
            if (!program.compile(handle.get(), asked.filter, mask))
                return fail(error_text(reported_error::capture_filter_syntax));
            if (request_waiting()) return false;
            if (capture_api.pcap_setfilter(handle.get(), program.get()) < 0)
                return fail(error_text(reported_error::capture_filter_not_set));
        }
        group_membership groups;
        const std::string not_joined = groups.join(address, asked.destinations);
        // The capture goes on: the group may still reach the adapter, flooded by the switch.
        if (!not_joined.empty())
            report(session, error_text(reported_error::multicast_not_joined, {not_joined}), false);
        if (request_waiting()) return false;
        say({session, message_kind::opened});
        return capture_loop(handle.get(), descriptor, session);
    }

    // Frames go out in batches: each read that finds the library's buffer empty first sends what
    // it has gathered, so a frame waits for no later one. An error or the end of the capture
    // ends the loop without a report: reopening is the receive thread's controller's decision.
    bool capture_loop(pcap_t* handle, int descriptor, std::uint64_t session) {
        for (;;) {
            pcap_pkthdr* header = nullptr;
            const u_char* data = nullptr;
            const int result = read_frame(handle, descriptor, session, &header, &data);
            if (result == request_comes) return false;
            if (result < 0) {
                if (!batch.send(channel, session)) closed = true;
                return true;
            }
            if (result == 0) {
                say({session, message_kind::timeout});
                continue;
            }
            if (!batch.add(data, header->caplen, header->len)) {
                if (!batch.send(channel, session)) closed = true;
                batch.add(data, header->caplen, header->len);
                // Traffic that never lets the library's buffer run empty must not hold back a
                // close or a new open: a request is looked for at every full batch too.
                if (request_waiting()) {
                    if (!batch.send(channel, session)) closed = true;
                    return false;
                }
            }
        }
    }

    // The next frame: 1 with a frame, 0 when none came within the read time-out, request_comes,
    // or negative on error. libpcap on Linux leaves its read time-out to the kernel's block
    // timer, which does not fire while no frame at all arrives: a blocking read would then never
    // return on a quiet network, so there would be no timeout message and no way to take the next
    // request. The handle is non-blocking instead and the time-out is kept here with poll on its
    // descriptor and the channel.
    int read_frame(pcap_t* handle, int descriptor, std::uint64_t session, pcap_pkthdr** header,
                   const u_char** data) {
        const auto deadline = std::chrono::steady_clock::now() + read_timeout;
        for (;;) {
            const int result = capture_api.pcap_next_ex(handle, header, data);
            if (result != 0) return result;
            if (!batch.send(channel, session)) closed = true;
            if (closed) return request_comes;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return 0;
            pollfd readable[2] = {{descriptor, POLLIN, 0}, {channel, POLLIN, 0}};
            const int ready = ::poll(readable, 2, static_cast<int>(left.count()));
            if (ready == 0) return 0;
            if (ready < 0 && errno != EINTR) return PCAP_ERROR;
            if (ready > 0 && readable[1].revents != 0) return request_comes;
        }
    }

    int channel;
    bool closed = false;
    std::unique_ptr<std::uint8_t[]> request;
    frame_batch batch;
};

// The supervisor: starts a worker, waits for it, and starts another when one dies, after saying
// so. A worker that returns has seen the channel close: then the helper ends.
[[noreturn]] void supervise_workers() {
    const pid_t supervisor = ::getpid();
    for (;;) {
        const pid_t worker = ::fork();
        if (worker < 0) ::_exit(1);
        if (worker == 0) {
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != supervisor) ::_exit(0);
            serve_capture_channel(helper_channel);
            ::_exit(0);
        }
        int status = 0;
        while (::waitpid(worker, &status, 0) < 0)
            if (errno != EINTR) ::_exit(1);
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) ::_exit(0);
        const std::string how = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                    : "status " + std::to_string(WEXITSTATUS(status));
        if (!send_message(helper_channel, {any_session, message_kind::report, true},
                          error_text(reported_error::capture_helper_restarted, {how})) ||
            !send_message(helper_channel, {any_session, message_kind::ended}))
            ::_exit(0);
    }
}

// The helper process from the fork on. It keeps nothing of the program's but its end of the
// channel: no other descriptor (a service manager's listening sockets among them), no
// environment, and of the capabilities only CAP_NET_RAW. Termination requests from outside are
// ignored: the program ends it, or its own end does.
[[noreturn]] void run_helper(int channel, pid_t program) {
    if (channel != helper_channel &&
        (::dup2(channel, helper_channel) != helper_channel || ::close(channel) != 0))
        ::_exit(1);
    ::close_range(helper_channel + 1, ~0U, 0);
    ::clearenv();
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE})
        std::signal(signal, SIG_IGN);
    if (!restrict_capabilities(capture_capabilities)) ::_exit(1);
    // Set after the capabilities changed, which may clear it; a program that ended before this
    // is caught by the parent check.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != program) ::_exit(0);
    load_capture_library();
    supervise_workers();
}

}  // namespace

void serve_capture_channel(int channel) {
    lower_own_priority();
    capture_worker(channel).serve();
}

capture_helper capture_helper::start() {
    int ends[2];
    if (!make_capture_channel(ends)) return {};
    const pid_t program = ::getpid();
    const pid_t helper = ::fork();
    if (helper == 0) {
        ::close(ends[0]);
        run_helper(ends[1], program);
    }
    ::close(ends[1]);
    if (helper < 0) {
        ::close(ends[0]);
        return {};
    }
    return {ends[0], helper};
}

capture_helper::capture_helper(capture_helper&& other) noexcept
    : own_end(std::exchange(other.own_end, -1)), pid(std::exchange(other.pid, -1)) {}

capture_helper::~capture_helper() {
    if (own_end >= 0) ::close(own_end);
    if (pid <= 0) return;
    // Nothing in the helper needs an orderly end: the kernel closes its capture and leaves its
    // groups. Its worker follows it through the parent-death signal.
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace vorlane
