// The stand-in capture library. Built twice: complete, and without pcap_dump_close (one of the
// entry points nothing calls), to show that a library lacking any entry point is refused.
#include "tests/capture/fake_pcap.h"

#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

using vorlane::test::fake_pcap_state;
using vorlane::test::fake_read;

namespace {

fake_pcap_state state;

sockaddr* make_address(int family, const std::array<std::uint8_t, 4>& bytes) {
    if (family == AF_INET6) {
        auto* address = static_cast<sockaddr_in6*>(std::calloc(1, sizeof(sockaddr_in6)));
        address->sin6_family = AF_INET6;
        address->sin6_addr.s6_addr[15] = 1;
        return reinterpret_cast<sockaddr*>(address);
    }
    auto* address = static_cast<sockaddr_in*>(std::calloc(1, sizeof(sockaddr_in)));
    address->sin_family = AF_INET;
    std::memcpy(&address->sin_addr, bytes.data(), 4);
    return reinterpret_cast<sockaddr*>(address);
}

}  // namespace

struct pcap {
    int never_readable[2];  // a pipe nobody writes to
    fake_read current;
    pcap_pkthdr header;
};

extern "C" {

fake_pcap_state* fake_pcap_control() {
    return &state;
}

int pcap_findalldevs(pcap_if_t** list, char* error) {
    const std::lock_guard guard(state.lock);
    ++state.enumerations;
    if (state.enumeration_fails) {
        std::strcpy(error, "scripted enumeration failure");
        return -1;
    }
    pcap_if_t* head = nullptr;
    pcap_if_t** tail = &head;
    for (const auto& adapter : state.adapters) {
        auto* entry = static_cast<pcap_if_t*>(std::calloc(1, sizeof(pcap_if_t)));
        entry->name = strdup(adapter.name.c_str());
        pcap_addr_t** address_tail = &entry->addresses;
        for (const auto& address : adapter.addresses) {
            auto* item = static_cast<pcap_addr_t*>(std::calloc(1, sizeof(pcap_addr_t)));
            item->addr = make_address(address.family, address.address);
            if (address.has_netmask) item->netmask = make_address(address.family, address.netmask);
            *address_tail = item;
            address_tail = &item->next;
        }
        *tail = entry;
        tail = &entry->next;
    }
    *list = head;
    return 0;
}

void pcap_freealldevs(pcap_if_t* list) {
    {
        const std::lock_guard guard(state.lock);
        ++state.lists_released;
    }
    while (list != nullptr) {
        pcap_if_t* next = list->next;
        for (pcap_addr_t* address = list->addresses; address != nullptr;) {
            pcap_addr_t* following = address->next;
            std::free(address->addr);
            std::free(address->netmask);
            std::free(address);
            address = following;
        }
        std::free(list->name);
        std::free(list);
        list = next;
    }
}

pcap_t* pcap_open_live(const char* device, int snaplen, int promisc, int timeout_ms, char* error) {
    const std::lock_guard guard(state.lock);
    state.opened_adapters.emplace_back(device);
    state.open_adapter_parameters =
        std::to_string(snaplen) + " " + std::to_string(promisc) + " " + std::to_string(timeout_ms);
    if (state.open_fails) {
        std::strcpy(error, "scripted open failure");
        return nullptr;
    }
    auto* handle = new pcap{{-1, -1}, {}, {}};
    if (pipe(handle->never_readable) != 0) {
        delete handle;
        std::strcpy(error, "pipe failed");
        return nullptr;
    }
    ++state.opens;
    return handle;
}

int pcap_setnonblock(pcap_t*, int nonblock, char* error) {
    const std::lock_guard guard(state.lock);
    if (state.nonblock_fails) {
        std::strcpy(error, "scripted failure");
        return -1;
    }
    state.nonblocking = nonblock != 0;
    return 0;
}

int pcap_get_selectable_fd(pcap_t* handle) {
    const std::lock_guard guard(state.lock);
    return state.no_selectable_descriptor ? -1 : handle->never_readable[0];
}

int pcap_datalink(pcap_t*) {
    const std::lock_guard guard(state.lock);
    return state.link_type;
}

int pcap_compile(pcap_t*, bpf_program* program, const char* text, int, bpf_u_int32 mask) {
    const std::lock_guard guard(state.lock);
    state.compiled_filters.emplace_back(text);
    state.last_mask = mask;
    if (state.compile_fails) return -1;
    ++state.programs_compiled;
    program->bf_len = 1;
    program->bf_insns = static_cast<bpf_insn*>(std::calloc(1, sizeof(bpf_insn)));
    return 0;
}

int pcap_setfilter(pcap_t*, bpf_program*) {
    const std::lock_guard guard(state.lock);
    if (state.set_filter_fails) return -1;
    ++state.filters_installed;
    return 0;
}

void pcap_freecode(bpf_program* program) {
    const std::lock_guard guard(state.lock);
    ++state.programs_released;
    std::free(program->bf_insns);
    program->bf_insns = nullptr;
    program->bf_len = 0;
}

pcap_dumper_t* pcap_dump_open(pcap_t*, const char*) {
    return nullptr;
}

int pcap_next_ex(pcap_t* handle, pcap_pkthdr** header, const u_char** data) {
    fake_read next;
    {
        const std::lock_guard guard(state.lock);
        if (!state.reads.empty()) {
            next = std::move(state.reads.front());
            state.reads.pop_front();
        }
    }
    switch (next.what) {
        case fake_read::kind::error:
            return PCAP_ERROR;
        case fake_read::kind::exception:
            throw std::runtime_error("scripted read failure");
        case fake_read::kind::timeout:
            return 0;
        case fake_read::kind::frame:
            break;
    }
    handle->current = std::move(next);
    handle->header = {};
    handle->header.caplen = static_cast<bpf_u_int32>(handle->current.bytes.size());
    handle->header.len =
        handle->current.wire_length != 0 ? handle->current.wire_length : handle->header.caplen;
    *header = &handle->header;
    *data = handle->current.bytes.data();
    return 1;
}

char* pcap_geterr(pcap_t*) {
    return const_cast<char*>("scripted error");
}

void pcap_dump(u_char*, const pcap_pkthdr*, const u_char*) {}

#ifndef FAKE_PCAP_INCOMPLETE
void pcap_dump_close(pcap_dumper_t*) {}
#endif

void pcap_close(pcap_t* handle) {
    {
        const std::lock_guard guard(state.lock);
        ++state.closes;
    }
    close(handle->never_readable[0]);
    close(handle->never_readable[1]);
    delete handle;
}

}  // extern "C"
