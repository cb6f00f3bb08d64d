#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/socket.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_api.h"
#include "capture/capture_channel.h"
#include "tests/capture/helper_thread.h"

namespace vorlane {
namespace {

// A request as raw bytes: the header, then texts each behind its 16-bit length.
std::string raw_message(message_kind kind, std::uint64_t session, const std::vector<std::string>& texts,
                        std::uint16_t first_length_claimed = 0) {
    std::string message(message_header_length, '\0');
    std::memcpy(message.data(), &session, sizeof session);
    message[8] = static_cast<char>(kind);
    for (const std::string& text : texts) {
        const std::uint16_t length = &text == &texts.front() && first_length_claimed != 0
                                         ? first_length_claimed
                                         : static_cast<std::uint16_t>(text.size());
        message.append(reinterpret_cast<const char*>(&length), sizeof length);
        message += text;
    }
    return message;
}

const std::vector<std::string> good_open = {"127.0.0.1", "udp", "127.0.0.1", "127.0.0.1"};

struct refused_case {
    const char* name;
    std::string message;
};

void PrintTo(const refused_case& c, std::ostream* out) {
    *out << c.name;
}

// The answer to the next message: its header and text.
std::pair<message_header, std::string> answer(int channel) {
    std::vector<std::uint8_t> buffer(max_response_length);
    const long length = receive_message(channel, buffer.data(), buffer.size(), 2000);
    message_header header;
    if (length <= 0 || !read_header(buffer.data(), static_cast<std::size_t>(length), header)) return {};
    return {header, std::string(buffer.begin() + message_header_length, buffer.begin() + length)};
}

class HelperRefuses : public testing::TestWithParam<refused_case> {};

// Whatever reaches the helper but a well-formed open or close is answered as refused, for no
// session, and the helper serves the next request as before.
TEST_P(HelperRefuses, MalformedRequestAndServesTheNext) {
    ASSERT_FALSE(capture_library_ready());
    const test::helper_thread helper;
    const std::string& bad = GetParam().message;
    ASSERT_EQ(::send(helper.channel(), bad.data(), bad.size(), 0), static_cast<ssize_t>(bad.size()));
    const auto [refusal, text] = answer(helper.channel());
    EXPECT_EQ(refusal.kind, message_kind::report);
    EXPECT_EQ(refusal.session, any_session);
    EXPECT_TRUE(refusal.input_failure);
    EXPECT_EQ(text, "Error QXE-RECV-115: Malformed capture request refused");
    const auto [ended, nothing] = answer(helper.channel());
    EXPECT_EQ(ended.kind, message_kind::ended);

    const std::string good = raw_message(message_kind::open, 7, good_open);
    ASSERT_EQ(::send(helper.channel(), good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
    const auto [served, reason] = answer(helper.channel());
    EXPECT_EQ(served.session, 7u);
    EXPECT_EQ(reason, "Error QXE-RECV-112: WinPCap is not installed");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HelperRefuses,
    testing::Values(
        refused_case{"shorter_than_a_header", std::string(5, '\1')},
        refused_case{"unknown_kind", raw_message(static_cast<message_kind>(99), 1, good_open)},
        refused_case{"an_answer_as_request", raw_message(message_kind::opened, 1, {})},
        refused_case{"close_with_a_body", raw_message(message_kind::close, 1, {"x"})},
        refused_case{"open_with_three_texts", raw_message(message_kind::open, 1, {"127.0.0.1", "udp", "x"})},
        refused_case{"text_longer_than_the_message", raw_message(message_kind::open, 1, good_open, 60000)},
        refused_case{"bytes_after_the_last_text", raw_message(message_kind::open, 1, good_open) + "x"},
        refused_case{
            "nul_inside_the_filter",
            raw_message(message_kind::open, 1, {"127.0.0.1", std::string("udp\0 or tcp", 11), "a", "b"})},
        refused_case{"longer_than_any_request",
                     raw_message(message_kind::open, 1,
                                 {"127.0.0.1", std::string(max_request_length, 'u'), "a", "b"})}),
    [](const testing::TestParamInfo<refused_case>& row) { return row.param.name; });

void interrupt(int) {}

// A signal that breaks the helper's wait for a request is no request: nothing is refused, and
// the session that runs is not ended by a refusal.
TEST(CaptureHelper, InterruptedWaitIsNoRequest) {
    struct sigaction action {};
    action.sa_handler = interrupt;
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGUSR2, &action, &before), 0);
    const test::helper_thread helper;
    // Only the helper's worker thread takes the signal.
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR2);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, nullptr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(::getpid(), SIGUSR2);
    std::vector<std::uint8_t> buffer(max_response_length);
    EXPECT_EQ(receive_message(helper.channel(), buffer.data(), buffer.size(), 300), 0);

    const std::string good = raw_message(message_kind::open, 7, good_open);
    ASSERT_EQ(::send(helper.channel(), good.data(), good.size(), 0), static_cast<ssize_t>(good.size()));
    EXPECT_EQ(answer(helper.channel()).first.session, 7u);
    ::pthread_sigmask(SIG_UNBLOCK, &blocked, nullptr);
    ::sigaction(SIGUSR2, &before, nullptr);
}

}  // namespace
}  // namespace vorlane
