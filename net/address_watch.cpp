#include "net/address_watch.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace vorlane {

address_watch::address_watch(QObject* parent) : QObject(parent) {
    descriptor = ::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (descriptor < 0) return;
    sockaddr_nl groups{};
    groups.nl_family = AF_NETLINK;
    groups.nl_groups = RTMGRP_IPV4_IFADDR;
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&groups), sizeof groups) != 0) {
        ::close(descriptor);
        descriptor = -1;
        return;
    }
    notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &address_watch::drain);
}

address_watch::~address_watch() {
    if (descriptor >= 0) ::close(descriptor);
}

bool address_watch::is_local_address(const std::string& address) {
    in_addr wanted{};
    if (::inet_pton(AF_INET, address.c_str(), &wanted) != 1) return false;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool found = false;
    for (const ifaddrs* entry = list; entry != nullptr && !found; entry = entry->ifa_next)
        found = entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET &&
                reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == wanted.s_addr;
    ::freeifaddrs(list);
    return found;
}

void address_watch::drain() {
    // Whoever is told looks the addresses up afresh, so the messages need no reading; a burst
    // of them (an adapter going down takes all its addresses) is one change.
    char messages[8192];
    bool changed = false;
    while (::recv(descriptor, messages, sizeof messages, 0) > 0) changed = true;
    if (changed) emit addresses_changed();
}

}  // namespace vorlane
