#include "capture/capture_api.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/capture/fake_pcap.h"

namespace vorlane {
namespace {

using test::fake_adapter;
using test::fake_library;
using test::fake_pcap_state;

TEST(CaptureLibrary, MissingLibraryLeavesTheTableEmpty) {
    EXPECT_FALSE(load_capture_library("/nonexistent/libpcap-missing.so"));
    EXPECT_FALSE(capture_library_ready());
    EXPECT_EQ(capture_api.library, nullptr);
}

TEST(CaptureLibrary, LibraryLackingOneEntryPointIsRefused) {
    EXPECT_FALSE(load_capture_library(FAKE_PCAP_INCOMPLETE_PATH));
    EXPECT_FALSE(capture_library_ready());
    EXPECT_EQ(capture_api.library, nullptr);
    EXPECT_EQ(capture_api.pcap_findalldevs, nullptr) << "no entry point kept from a refused library";
}

TEST(CaptureLibrary, UnloadEmptiesTheTableFirst) {
    ASSERT_TRUE(load_capture_library(FAKE_PCAP_PATH));
    EXPECT_TRUE(capture_library_ready());
    EXPECT_TRUE(unload_capture_library());
    EXPECT_FALSE(capture_library_ready());
    EXPECT_EQ(capture_api.library, nullptr);
    EXPECT_EQ(capture_api.pcap_close, nullptr);
    EXPECT_TRUE(unload_capture_library()) << "nothing to release is not a failure";
}

TEST(CaptureLibrary, SystemLibraryBindsUnderItsRunTimeName) {
    void* probe = dlopen("libpcap.so.0.8", RTLD_NOW | RTLD_LOCAL);
    if (probe == nullptr) probe = dlopen("libpcap.so.1", RTLD_NOW | RTLD_LOCAL);
    if (probe == nullptr) GTEST_SKIP() << "no system libpcap installed (libpcap0.8)";
    dlclose(probe);
    EXPECT_TRUE(load_capture_library());
    EXPECT_TRUE(capture_library_ready());
    EXPECT_TRUE(unload_capture_library());
}

TEST(CaptureLibrary, QueriesFindNothingWithoutTheLibrary) {
    unload_capture_library();
    std::vector<std::string> list{"stale"};
    std::uint32_t mask = 7;
    EXPECT_EQ(first_adapter_ip(), "0.0.0.0");
    list_adapter_ips(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(find_adapter_by_ip("127.0.0.1", mask), "");
}

class AdapterQueries : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(load_capture_library(FAKE_PCAP_PATH));
        fake.reset();
    }
    void TearDown() override {
        EXPECT_EQ(fake.lists_released, fake.enumeration_fails ? 0 : fake.enumerations)
            << "every list obtained is released";
        unload_capture_library();
    }
    void script(std::vector<fake_adapter> adapters) {
        const std::lock_guard guard(fake.lock);
        fake.adapters = std::move(adapters);
    }

    fake_library library{FAKE_PCAP_PATH};
    fake_pcap_state& fake = library.state();
};

// In list order: an adapter with IPv6 before IPv4, one with IPv6 only, one that repeats an address.
std::vector<fake_adapter> mixed_adapters() {
    return {{"eth0", {{AF_INET6, {}, {}}, {AF_INET, {10, 0, 0, 1}, {255, 0, 0, 0}}}},
            {"v6only", {{AF_INET6, {}, {}}}},
            {"eth1",
             {{AF_INET, {192, 168, 1, 5}, {255, 255, 255, 0}}, {AF_INET, {10, 0, 0, 1}, {255, 255, 0, 0}}}}};
}

std::uint32_t mask_value(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::uint8_t bytes[4] = {a, b, c, d};
    std::uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

TEST_F(AdapterQueries, FirstAdapterIpSkipsIpv6) {
    script(mixed_adapters());
    EXPECT_EQ(first_adapter_ip(), "10.0.0.1");
}

TEST_F(AdapterQueries, ListHoldsEveryIpv4AddressInOrderAndReplacesTheOldContent) {
    script(mixed_adapters());
    std::vector<std::string> list{"stale"};
    list_adapter_ips(list);
    EXPECT_EQ(list, (std::vector<std::string>{"10.0.0.1", "192.168.1.5", "10.0.0.1"}));
}

TEST_F(AdapterQueries, FindComparesTextsAndTheLastAdapterWins) {
    script(mixed_adapters());
    const struct {
        const char* ip;
        const char* adapter;
        std::uint32_t mask;
    } cases[] = {{"10.0.0.1", "eth1", mask_value(255, 255, 0, 0)},
                 {"192.168.1.5", "eth1", mask_value(255, 255, 255, 0)},
                 {"010.0.0.1", "", 0},
                 {"10.0.0.1 ", "", 0},
                 {"10.0.0.2", "", 0}};
    for (const auto& c : cases) {
        std::uint32_t mask = 0;
        EXPECT_EQ(find_adapter_by_ip(c.ip, mask), c.adapter) << c.ip;
        EXPECT_EQ(mask, c.mask) << c.ip;
    }
}

TEST_F(AdapterQueries, FindWithAnEmptyAddressDoesNotEnumerate) {
    script(mixed_adapters());
    std::uint32_t mask = 0;
    EXPECT_EQ(find_adapter_by_ip("", mask), "");
    EXPECT_EQ(fake.enumerations, 0);
}

TEST_F(AdapterQueries, MissingNetmaskGivesZero) {
    script({{"tun0", {{AF_INET, {10, 8, 0, 2}, {}, false}}}});
    std::uint32_t mask = 99;
    EXPECT_EQ(find_adapter_by_ip("10.8.0.2", mask), "tun0");
    EXPECT_EQ(mask, 0u);
}

TEST_F(AdapterQueries, NoIpv4AddressAnywhere) {
    script({{"v6only", {{AF_INET6, {}, {}}}}, {"noaddress", {}}});
    std::vector<std::string> list{"stale"};
    std::uint32_t mask = 0;
    EXPECT_EQ(first_adapter_ip(), "0.0.0.0");
    list_adapter_ips(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(find_adapter_by_ip("0.0.0.0", mask), "");
}

TEST_F(AdapterQueries, EnumerationFailureFindsNothing) {
    script(mixed_adapters());
    fake.enumeration_fails = true;
    std::vector<std::string> list{"stale"};
    std::uint32_t mask = 0;
    EXPECT_EQ(first_adapter_ip(), "0.0.0.0");
    list_adapter_ips(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(find_adapter_by_ip("10.0.0.1", mask), "");
    EXPECT_EQ(fake.enumerations, 3);
}

}  // namespace
}  // namespace vorlane
