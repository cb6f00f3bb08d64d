#include "capture/capture_api.h"

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <type_traits>

namespace vorlane {

capture_api_table capture_api;

namespace {

// One row per entry point: the name the loader looks up and how to store and test the typed
// pointer in the table.
struct entry_point {
    const char* name;
    void (*bind)(capture_api_table& table, void* symbol);
    bool (*bound)(const capture_api_table& table);
};

template <auto member>
constexpr entry_point entry(const char* name) {
    using pointer = std::remove_reference_t<decltype(std::declval<capture_api_table&>().*member)>;
    return {name,
            [](capture_api_table& table, void* symbol) { table.*member = reinterpret_cast<pointer>(symbol); },
            [](const capture_api_table& table) { return table.*member != nullptr; }};
}

// libpcap's pcap_findalldevs and pcap_open_live stand where the Windows library has its
// enumeration with a source string and its open call with flags. Three entries beyond the
// Windows set: pcap_setnonblock and pcap_get_selectable_fd let the receive thread keep its own
// read time-out (see pcap_receive_thread.cpp), and pcap_freecode releases the compiled filter,
// which would otherwise leak on every reopen of the input.
constexpr entry_point entry_points[] = {
    entry<&capture_api_table::pcap_findalldevs>("pcap_findalldevs"),
    entry<&capture_api_table::pcap_freealldevs>("pcap_freealldevs"),
    entry<&capture_api_table::pcap_open_live>("pcap_open_live"),
    entry<&capture_api_table::pcap_setnonblock>("pcap_setnonblock"),
    entry<&capture_api_table::pcap_get_selectable_fd>("pcap_get_selectable_fd"),
    entry<&capture_api_table::pcap_datalink>("pcap_datalink"),
    entry<&capture_api_table::pcap_compile>("pcap_compile"),
    entry<&capture_api_table::pcap_setfilter>("pcap_setfilter"),
    entry<&capture_api_table::pcap_freecode>("pcap_freecode"),
    entry<&capture_api_table::pcap_dump_open>("pcap_dump_open"),
    entry<&capture_api_table::pcap_next_ex>("pcap_next_ex"),
    entry<&capture_api_table::pcap_geterr>("pcap_geterr"),
    entry<&capture_api_table::pcap_dump>("pcap_dump"),
    entry<&capture_api_table::pcap_dump_close>("pcap_dump_close"),
    entry<&capture_api_table::pcap_close>("pcap_close"),
};
// Every pointer of the table after the handle has its row.
static_assert(sizeof(capture_api_table) == (1 + std::size(entry_points)) * sizeof(void*));

constexpr const char* library_names[] = {"libpcap.so.0.8", "libpcap.so.1", "libpcap.so"};

struct adapter_list_release {
    void operator()(pcap_if_t* list) const { capture_api.pcap_freealldevs(list); }
};

std::string address_text(const sockaddr* address) {
    std::uint8_t bytes[4];
    std::memcpy(bytes, reinterpret_cast<const char*>(address) + offsetof(sockaddr_in, sin_addr), 4);
    return std::to_string(bytes[0]) + '.' + std::to_string(bytes[1]) + '.' + std::to_string(bytes[2]) + '.' +
           std::to_string(bytes[3]);
}

std::uint32_t address_value(const sockaddr* address) {
    if (address == nullptr) return 0;
    std::uint32_t value;
    std::memcpy(&value, reinterpret_cast<const char*>(address) + offsetof(sockaddr_in, sin_addr), 4);
    return value;
}

// Calls visit for every IPv4 address of every adapter in list order until it returns false.
// An exception inside ends the walk with what was found so far; the list is always released.
void for_each_ipv4_address(const std::function<bool(const pcap_if_t&, const pcap_addr_t&)>& visit) {
    if (capture_api.library == nullptr || capture_api.pcap_findalldevs == nullptr ||
        capture_api.pcap_freealldevs == nullptr)
        return;
    pcap_if_t* adapters = nullptr;
    char error[PCAP_ERRBUF_SIZE] = {};
    if (capture_api.pcap_findalldevs(&adapters, error) < 0) return;
    const std::unique_ptr<pcap_if_t, adapter_list_release> release(adapters);
    try {
        for (const pcap_if_t* adapter = adapters; adapter != nullptr; adapter = adapter->next)
            for (const pcap_addr_t* address = adapter->addresses; address != nullptr; address = address->next)
                if (address->addr != nullptr && address->addr->sa_family == AF_INET &&
                    !visit(*adapter, *address))
                    return;
    } catch (const std::exception&) {
    }
}

}  // namespace

bool load_capture_library() {
    for (const char* name : library_names)
        if (load_capture_library(name)) return true;
    return false;
}

bool load_capture_library(const std::string& file) {
    unload_capture_library();
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return false;
    capture_api_table table;
    table.library = handle;
    for (const entry_point& entry : entry_points) {
        void* symbol = dlsym(handle, entry.name);
        if (symbol == nullptr) {
            dlclose(handle);
            return false;
        }
        entry.bind(table, symbol);
    }
    capture_api = table;
    return capture_library_ready();
}

bool capture_library_ready() {
    if (capture_api.library == nullptr) return false;
    for (const entry_point& entry : entry_points)
        if (!entry.bound(capture_api)) return false;
    return true;
}

bool unload_capture_library() {
    void* handle = capture_api.library;
    capture_api = capture_api_table{};
    return handle == nullptr || dlclose(handle) == 0;
}

std::string first_adapter_ip() {
    std::string found = "0.0.0.0";
    for_each_ipv4_address([&](const pcap_if_t&, const pcap_addr_t& address) {
        found = address_text(address.addr);
        return false;
    });
    return found;
}

std::string adapter_ip(const std::string& setting) {
    return setting == "0.0.0.0" ? first_adapter_ip() : setting;
}

void list_adapter_ips(std::vector<std::string>& list) {
    list.clear();
    for_each_ipv4_address([&](const pcap_if_t&, const pcap_addr_t& address) {
        list.push_back(address_text(address.addr));
        return true;
    });
}

std::string find_adapter_by_ip(const std::string& ip, std::uint32_t& mask) {
    std::string name;
    if (ip.empty()) return name;
    for_each_ipv4_address([&](const pcap_if_t& adapter, const pcap_addr_t& address) {
        if (address_text(address.addr) == ip) {
            name = adapter.name;
            mask = address_value(address.netmask);
        }
        return true;
    });
    return name;
}

}  // namespace vorlane
