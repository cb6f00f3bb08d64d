#pragma once

#include <pcap/pcap.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vorlane {

// The capture library's entry points. The library is bound at run time, not linked, so that the
// program starts and tells the operator what is missing on a machine without it. Every user
// checks capture_library_ready() (or the entries it needs) before a call.
//
// Written only by the main thread: when the main window is created, before the receive thread
// exists, and at shut-down, after it has ended. In between both threads read it.
struct capture_api_table {
    void* library = nullptr;
    decltype(&::pcap_findalldevs) pcap_findalldevs = nullptr;
    decltype(&::pcap_freealldevs) pcap_freealldevs = nullptr;
    decltype(&::pcap_open_live) pcap_open_live = nullptr;
    decltype(&::pcap_setnonblock) pcap_setnonblock = nullptr;
    decltype(&::pcap_get_selectable_fd) pcap_get_selectable_fd = nullptr;
    decltype(&::pcap_datalink) pcap_datalink = nullptr;
    decltype(&::pcap_compile) pcap_compile = nullptr;
    decltype(&::pcap_setfilter) pcap_setfilter = nullptr;
    decltype(&::pcap_freecode) pcap_freecode = nullptr;
    decltype(&::pcap_dump_open) pcap_dump_open = nullptr;
    decltype(&::pcap_next_ex) pcap_next_ex = nullptr;
    decltype(&::pcap_geterr) pcap_geterr = nullptr;
    decltype(&::pcap_dump) pcap_dump = nullptr;
    decltype(&::pcap_dump_close) pcap_dump_close = nullptr;
    decltype(&::pcap_close) pcap_close = nullptr;
};

extern capture_api_table capture_api;

// Binds the system's libpcap under its run-time names ("libpcap.so.0.8" on Debian, then
// "libpcap.so.1", then "libpcap.so"). Never throws; false leaves the table empty.
bool load_capture_library();
// Binds the library in one file (a path or a name for the dynamic loader). A library that lacks
// one of the entry points is released again and leaves the table empty. A library bound before
// is released first.
bool load_capture_library(const std::string& file);
// The library handle and every entry point are set.
bool capture_library_ready();
// Empties the table, then releases the library; false when the loader failed to release it.
bool unload_capture_library();

// Adapter queries by IPv4 address ("%d.%d.%d.%d"). Each enumerates the adapters afresh, always
// releases the list again and finds nothing when the library is not bound or the enumeration
// fails. IPv6 addresses are ignored. They may run on either thread.

// The first IPv4 address of any adapter in list order, or "0.0.0.0" when there is none.
std::string first_adapter_ip();
// The adapter address an address setting names: "0.0.0.0" stands for first_adapter_ip(), any
// other text for itself.
std::string adapter_ip(const std::string& setting);
// Replaces the list with every IPv4 address of every adapter in list order; an address carried by
// two adapters is listed twice.
void list_adapter_ips(std::vector<std::string>& list);
// The name of the adapter whose IPv4 address reads exactly as ip (a text comparison: "010.0.0.1"
// does not match 10.0.0.1), and that address's network mask as the capture library gives it
// (zero when it gives none). When several adapters carry the address, the last one wins. Empty
// when ip is empty or no adapter carries it.
std::string find_adapter_by_ip(const std::string& ip, std::uint32_t& mask);

}  // namespace vorlane
