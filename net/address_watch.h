#pragma once

#include <QObject>
#include <string>

class QSocketNotifier;

namespace vorlane {

// Tells when an adapter of this host gains or loses an IPv4 address (DHCP, a cable plugged or
// pulled, an operator), as the system announces it, on the event loop of the owning thread.
// Without such announcements (no netlink socket to be had) it simply never tells.
class address_watch : public QObject {
    Q_OBJECT
  public:
    explicit address_watch(QObject* parent = nullptr);
    ~address_watch() override;

    // Whether the IPv4 address text is one of this host's addresses now.
    static bool is_local_address(const std::string& address);

  signals:
    void addresses_changed();

  private:
    void drain();

    int descriptor = -1;
    QSocketNotifier* notifier = nullptr;
};

}  // namespace vorlane
