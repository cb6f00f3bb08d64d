// The controller's supervision and services, driven tick by tick against a scripted capture
// input and real output servers on loopback.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTcpServer>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "net/tcp_srv_client.h"
#include "tests/app/scripted_controller.h"
#include "tests/support/loopback_peer.h"
#include "tests/support/nmea_text.h"
#include "tests/support/temp_dir.h"
#include "tests/support/veth_link.h"
#include "validation/nmea_tables.h"

namespace vorlane {
namespace {

using test::scripted_input;

struct controller_fixture : testing::Test, test::scripted_controller {
    void run_to_ready() { ASSERT_TRUE(scripted_controller::run_to_ready()); }
};

using strings = std::vector<std::string>;

TEST_F(controller_fixture, NormalStartShowsTheStagesInOrder) {
    write_settings();
    start();
    EXPECT_EQ(ticks(), (strings{"Kestav Translator starting...", "Loading config...", "Config loaded",
                                "Opening outputs", "Opening outputs"}));
    EXPECT_TRUE(controller->outputs().is_open(0));
    EXPECT_TRUE(controller->outputs().is_open(1));
    EXPECT_EQ(ticks(), strings{});
    EXPECT_EQ(ticks(), strings{"Opening input"});
    EXPECT_EQ(input->opens, 1);
    controller->on_rx_connected();
    EXPECT_EQ(display.shown.back(), "Input connected");
    EXPECT_EQ(ticks(), strings{"Ready"});
    EXPECT_TRUE(controller->supervision().is_data_path_ready());
    EXPECT_EQ(ticks(3), strings{}) << "Ready is shown once per opening";
    EXPECT_EQ(manager->output_ports[0], first_port);
    EXPECT_EQ(manager->output_ports[1], first_port + 1);

    const std::string log = log_text();
    EXPECT_NE(log.find(" Kestav Translator starting...\n"), std::string::npos);
    for (const char* status_only : {"Loading config", "Config loaded", "Opening", "Ready", "Input connected"})
        EXPECT_EQ(log.find(status_only), std::string::npos) << status_only << " must not be logged";
}

TEST_F(controller_fixture, FirstRunWritesTheDefaultSettingsFile) {
    start();
    ticks();
    const std::string ini = test::read_file(dir / "Vorlane.ini");
    EXPECT_EQ(ini.rfind("[Vorlane]\ninput_ip=0.0.0.0\n", 0), 0u) << ini;
    EXPECT_NE(ini.find("first_output_port=14001"), std::string::npos);
}

TEST_F(controller_fixture, EmptyAddressAsksForConfiguration) {
    write_settings("", "127.0.0.1");
    start();
    EXPECT_EQ(ticks().back(), "Please configure network settings");
    EXPECT_EQ(ticks(5), strings(5, "Please configure network settings"));
    EXPECT_FALSE(controller->outputs().is_open(0));
    EXPECT_EQ(input->opens, 0);
}

TEST_F(controller_fixture, UnknownDatagramFormatIsReportedAndItsInputServesNothing) {
    write_settings();
    std::ofstream(dir / "Vorlane.ini", std::ios::app) << "[QXInput]\ninput_0_format=iec-450\n";
    start();
    const std::string error =
        "Error QXE-615: Unknown datagram format \"iec-450\" of VDR Junction box 1, expected header8 or "
        "iec450";
    const strings shown = ticks();
    EXPECT_NE(std::find(shown.begin(), shown.end(), error), shown.end());
    EXPECT_NE(log_text().find(" " + error + "\n"), std::string::npos) << log_text();
    std::string payload = "UdPbC" + std::string(3, '\0') + "$GPZDA,193223.00,23,12,2007,00,00*69\r\n";
    manager->process_datagram(0, 0, reinterpret_cast<std::uint8_t*>(payload.data()),
                              static_cast<std::int32_t>(payload.size()), false);
    EXPECT_FALSE(manager->has_output(0));
}

// An old sensor's sentences reach the display only from the box whose settings ask for every
// edition, and are counted there; a value the gateway does not know is reported and stays strict.
TEST_F(controller_fixture, EditionsOfEachInputComeFromTheSettings) {
    write_settings();
    std::ofstream(dir / "Vorlane.ini", std::ios::app)
        << "[QXInput]\ninput_0_editions=all\ninput_1_editions=every\n";
    start();
    const std::string error =
        "Error QXE-640: Unknown editions \"every\" of VDR Junction box 2, expected current or all";
    const strings shown = ticks();
    EXPECT_NE(std::find(shown.begin(), shown.end(), error), shown.end());
    const std::string sentence =
        test::with_checksum("$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W,A");
    for (std::int32_t box = 0; box < 2; ++box) {
        std::string payload = std::string(8, '\0') + sentence + "\r\n";
        manager->process_datagram(box, box, reinterpret_cast<std::uint8_t*>(payload.data()),
                                  static_cast<std::int32_t>(payload.size()), false);
    }
    const std::size_t rmc = formatter_row(formatter_index_of("RMC"));
    const formatter_tally& all = manager->statistics().input(0).formatters[rmc];
    EXPECT_EQ(all.accepted, 1u);
    EXPECT_EQ(all.earlier_layout, 1u);
    const formatter_tally& strict = manager->statistics().input(1).formatters[rmc];
    EXPECT_EQ(strict.accepted, 0u);
    EXPECT_EQ(strict.rejected[static_cast<std::size_t>(rejection::too_few_fields)], 1u);
    const std::vector<std::string> report = controller->report_drops_since_start();
    EXPECT_TRUE(report.at(0).ends_with("; accepted in an earlier layout: RMC 1")) << report.at(0);
    EXPECT_EQ(report.at(1).find("earlier layout"), std::string::npos) << report.at(1);
}

TEST_F(controller_fixture, MissingCaptureLibraryStopsSupervisionAlsoAfterRestart) {
    write_settings();
    start(false);
    EXPECT_EQ(ticks().back(), "WinPCap is required, please install.");
    controller->restart();
    EXPECT_EQ(ticks(3),
              (strings{"Loading config...", "Config loaded", "WinPCap is required, please install.",
                       "WinPCap is required, please install.", "WinPCap is required, please install."}));
    EXPECT_FALSE(controller->outputs().is_open(0));
    EXPECT_EQ(input->opens, 0);
    EXPECT_EQ(log_text().find("WinPCap"), std::string::npos);
}

TEST_F(controller_fixture, SettingsPathThatCannotBeExaminedIsReportedOnceAndStartUpGoesOn) {
    std::filesystem::create_symlink("Vorlane.ini", dir / "Vorlane.ini");
    start(false);
    EXPECT_EQ(ticks(3).back(), "WinPCap is required, please install.");
    const std::string log = log_text();
    EXPECT_NE(log.find(" Error QXE-612: Failed to read config file\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Error QXE-", log.find("Error QXE-") + 1), std::string::npos) << log;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "Vorlane.ini"));
}

TEST_F(controller_fixture, OutputsFollowTheAddressTheyWereToldToUse) {
    if (const std::string reason = test::veth_link::unavailable_reason(); !reason.empty())
        GTEST_SKIP() << reason;
    test::veth_link link;
    write_settings("127.0.0.1", test::veth_link::near_address);
    start();
    ticks(3);
    controller->on_rx_connected();
    ASSERT_EQ(ticks(), strings{"Ready"});
    const auto opened = [&] { return controller->outputs().is_open(0) && controller->outputs().is_open(1); };

    ASSERT_TRUE(link.command("near", "ip addr del 172.31.24.1/24 dev {dev}"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !controller->outputs().is_open(0) && !controller->outputs().is_open(1); }));
    const strings shown = ticks();
    EXPECT_NE(
        std::find_if(shown.begin(), shown.end(),
                     [](const std::string& text) { return text.rfind("Error QXE-200 (port 1): ", 0) == 0; }),
        shown.end())
        << "the missing address is not reported";
    EXPECT_FALSE(controller->supervision().is_data_path_ready());

    ASSERT_TRUE(link.command("near", "ip addr add 172.31.24.1/24 dev {dev}"));
    QTest::qWait(200);
    ticks();
    EXPECT_TRUE(opened()) << "not reopened at the next tick once the address was back";

    // A waiting input is tried again at the next tick after an address change.
    input->open_succeeds = false;
    controller->on_rx_disconnected();
    ticks(2);
    const int opens = input->opens;
    ASSERT_TRUE(link.command("near", "ip addr add 172.31.24.3/24 dev {dev}"));
    QTest::qWait(200);
    ticks();
    EXPECT_EQ(input->opens, opens + 1);
}

TEST(RetryLadder, MapsFailureCountsToTicks) {
    const std::pair<int, int> rows[] = {{0, 10},    {9, 10},    {10, 60},    {19, 60},
                                        {20, 3600}, {29, 3600}, {30, 86400}, {1000, 86400}};
    for (const auto& [failures, delay] : rows)
        EXPECT_EQ(data_path_supervisor::retry_delay(failures), delay) << failures;
}

TEST_F(controller_fixture, FailedInputAttemptsFollowTheLadder) {
    write_settings();
    start();
    input->open_succeeds = false;
    std::vector<int> attempt_ticks;
    int tick = 0;
    while (attempt_ticks.size() < 32) {
        const int before = input->opens;
        controller->Timer1SecTimer();
        ++tick;
        if (input->opens != before) attempt_ticks.push_back(tick);
    }
    ASSERT_EQ(attempt_ticks.front(), 3);
    for (std::size_t i = 1; i < attempt_ticks.size(); ++i) {
        const int expected = i < 10 ? 11 : i < 20 ? 61 : i < 30 ? 3601 : 86401;
        EXPECT_EQ(attempt_ticks[i] - attempt_ticks[i - 1], expected) << "after failure " << i;
    }
    controller->on_rx_connected();
    controller->on_rx_disconnected();
    EXPECT_EQ(ticks(10).at(0), "Opening input") << "a connection resets the count";
}

TEST_F(controller_fixture, OutputThatCannotListenIsRetriedEvery11Ticks) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, first_port));
    write_settings();
    start();
    ticks();
    EXPECT_TRUE(controller->outputs().is_open(1));
    EXPECT_FALSE(controller->outputs().is_open(0));
    const std::string log = log_text();
    EXPECT_NE(log.find("Error QXE-200 (port 1): "), std::string::npos) << log;
    int gap = 0;
    strings shown;
    do {
        ++gap;
        shown = ticks();
    } while (shown.empty() && gap < 100);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown.front(), "Opening outputs");
    EXPECT_EQ(gap, 11);
    EXPECT_EQ(display.shown.back().rfind("Error QXE-200 (port 1): ", 0), 0u) << display.shown.back();
    EXPECT_EQ(input->opens, 0) << "the input waits for both outputs";
}

TEST_F(controller_fixture, FailedOutputAttemptsFollowTheLadder) {
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::LocalHost, first_port));
    write_settings();
    start();
    std::vector<int> attempt_ticks;
    for (int tick = 1; attempt_ticks.size() < 11 && tick < 1000; ++tick) {
        const strings shown = ticks();
        if (std::find(shown.begin(), shown.end(), "Opening outputs") != shown.end())
            attempt_ticks.push_back(tick);
    }
    ASSERT_EQ(attempt_ticks.size(), 11u);
    EXPECT_EQ(attempt_ticks[9] - attempt_ticks[8], 11);
    EXPECT_EQ(attempt_ticks[10] - attempt_ticks[9], 61) << "ten failures move the output up the ladder";
    squatter.close();
}

TEST_F(controller_fixture, ActiveAndIdleFollowTheTraffic) {
    run_to_ready();
    controller->on_rx_datagram();
    EXPECT_EQ(ticks(), strings{"Active"});
    controller->on_rx_datagram();
    EXPECT_EQ(ticks(2), strings{}) << "traffic without a read time-out keeps Active";
    controller->on_rx_idle();
    EXPECT_EQ(ticks(), strings{"Idle"});
    EXPECT_EQ(ticks(), strings{});
    controller->on_rx_datagram();
    EXPECT_EQ(ticks(), strings{"Active"});
    EXPECT_EQ(log_text().find("Active"), std::string::npos);
}

TEST_F(controller_fixture, DisconnectReopensTheInputOnTheLadder) {
    run_to_ready();
    controller->on_rx_disconnected();
    EXPECT_EQ(display.shown.back(), "Input disconnected");
    EXPECT_FALSE(controller->supervision().is_data_path_ready());
    const int opens = input->opens;
    int waited = 0;
    while (input->opens == opens && waited < 50) {
        ticks();
        ++waited;
    }
    EXPECT_EQ(waited, 10);
    controller->on_rx_connected();
    EXPECT_EQ(ticks(), strings{"Ready"}) << "the input is open again";
}

TEST_F(controller_fixture, RestartReadsTheSettingsAgainAndReopensEverything) {
    run_to_ready();
    controller->restart();
    EXPECT_EQ(input->closes, 1);
    EXPECT_FALSE(controller->outputs().is_open(0));
    EXPECT_FALSE(controller->outputs().is_open(1));
    // The running capture ends and reports it.
    controller->on_rx_disconnected();
    EXPECT_EQ(ticks(), (strings{"Loading config...", "Config loaded", "Opening outputs", "Opening outputs"}));
    const int opens = input->opens;
    int waited = 0;
    while (input->opens == opens && waited < 50) {
        ticks();
        ++waited;
    }
    EXPECT_EQ(waited, 2) << "a capture that was running comes back as soon as one that was not";
}

TEST_F(controller_fixture, RestartWithoutARunningCaptureReopensTheInputTwoTicksLater) {
    write_settings();
    start();
    ticks();
    controller->restart();
    ticks();
    EXPECT_EQ(ticks(), strings{});
    EXPECT_EQ(ticks(), strings{"Opening input"});
}

// Batches move only while the data path is ready, and datagrams of an unknown input never reach
// the stream manager.
TEST_F(controller_fixture, ServicesMoveDatagramsToTheOutputs) {
    run_to_ready();
    const std::string gga =
        test::with_checksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    input->capture(0, gga + "\r\n");
    input->capture(2, gga + "\r\n");
    controller->on_rx_datagram();
    EXPECT_TRUE(manager->has_output(0));
    EXPECT_FALSE(manager->has_output(1));
    controller->Timer100msTimer();
    EXPECT_FALSE(manager->has_output(0)) << "with nobody connected the batch is taken and dropped";
}

// A flood is taken a bounded number of datagrams per turn of the event loop, so that the timers
// run between turns; the rest is taken by turns queued behind them, without a new notification.
TEST_F(controller_fixture, FloodIsTakenInBoundedTurns) {
    run_to_ready();
    const std::string hdt = test::with_checksum("$HEHDT,274.07,T");
    const int flood = 3 * input_link::datagrams_per_turn + 10;
    for (int d = 0; d < flood; ++d) input->capture(0, hdt + "\r\n");
    controller->on_rx_datagram();
    EXPECT_EQ(input->waiting.size(), static_cast<std::size_t>(flood - input_link::datagrams_per_turn));
    for (int turn = 0; turn < 10 && !input->waiting.empty(); ++turn) QCoreApplication::processEvents();
    EXPECT_TRUE(input->waiting.empty());
    EXPECT_EQ(manager->statistics().input(0).datagrams, static_cast<std::uint64_t>(flood));
}

TEST_F(controller_fixture, ClientsGetTheBannerThenTheirOutputOnly) {
    run_to_ready();
    test::loopback_peer first(static_cast<std::uint16_t>(first_port));
    test::loopback_peer second(static_cast<std::uint16_t>(first_port + 1));
    ASSERT_TRUE(first.wait_connected(2000));
    ASSERT_TRUE(second.wait_connected(2000));
    const std::string gga =
        test::with_checksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
    const std::string hdt = test::with_checksum("$HEHDT,271.1,T");

    // Let the servers accept, then feed one datagram per input.
    for (int i = 0; i < 20 && controller->outputs().output_server(1)->client_count() == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    input->capture(0, gga + "\r\n");
    input->capture(1, hdt + "\r\n");
    controller->on_rx_datagram();
    controller->Timer100msTimer();
    for (int i = 0;
         i < 40 && (first.received().size() < 20 + gga.size() || second.received().size() < 20 + hdt.size());
         ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 25);
        first.read_available();
        second.read_available();
    }
    EXPECT_EQ(first.received(), "KestavTranslator\r\n" + gga + "\r\n");
    EXPECT_EQ(second.received(), "KestavTranslator\r\n" + hdt + "\r\n");
}

// One batch in flight per output: a client that stops reading holds back every client of its
// port, the sentences wait in the queue, and sending resumes once it reads again.
TEST_F(controller_fixture, SlowClientSkipsBatchesWhileTheOthersGoOn) {
    run_to_ready();
    test::loopback_peer slow(static_cast<std::uint16_t>(first_port), 4096);
    test::loopback_peer quick(static_cast<std::uint16_t>(first_port));
    ASSERT_TRUE(slow.wait_connected(2000));
    ASSERT_TRUE(quick.wait_connected(2000));
    const TWSocketServer& server = *controller->outputs().output_server(0);
    for (int i = 0; i < 20 && server.client_count() < 2; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    slow.reading = false;

    // Waypoints are never replaced, so each one sent takes a place in the queue; a round brings
    // more than one batch can carry.
    std::string lines;
    for (int k = 0; k < 25; ++k)
        lines += test::with_checksum("$GPWPL,4917.16,N,12310.64,W,WP" + std::to_string(k)) + "\r\n";
    const auto some_client_ready = [&] {
        for (int i = 0; i < server.client_count(); ++i)
            if (qobject_cast<TTcpSrvClient*>(server.client(i))->ready) return true;
        return false;
    };
    // Real time passes between the steps, so that the kernel's pacing and acknowledgements move.
    const auto serve_one_round = [&] {
        for (int d = 0; d < 8; ++d) input->capture(0, lines);
        controller->on_rx_datagram();
        static_cast<void>(QTest::qWaitFor(some_client_ready, 1000));
        const std::size_t before = quick.received().size();
        controller->Timer100msTimer();
        return QTest::qWaitFor(
            [&] {
                quick.read_available();
                return quick.received().size() > before;
            },
            1000);
    };
    // Far more than the slow client's socket buffers hold.
    for (int round = 0; round < 60; ++round) serve_one_round();
    const auto slow_client_busy = [&] {
        for (int i = 0; i < server.client_count(); ++i)
            if (!qobject_cast<TTcpSrvClient*>(server.client(i))->ready) return true;
        return false;
    };
    ASSERT_TRUE(slow_client_busy()) << "the slow client never filled its socket buffers";
    for (int round = 0; round < 10; ++round)
        EXPECT_TRUE(serve_one_round()) << "round " << round << ": the slow client held back the quick one";
    EXPECT_TRUE(slow_client_busy());

    const std::size_t slow_had = [&] {
        slow.reading = true;
        slow.read_available();
        return slow.received().size();
    }();
    for (int i = 0; i < 400 && slow.received().size() <= slow_had + 4096; ++i) {
        serve_one_round();
        slow.read_available();
    }
    EXPECT_GT(slow.received().size(), slow_had + 4096) << "the slow client was not served again";
    EXPECT_EQ(slow.received().substr(0, 200), quick.received().substr(0, 200));
}

// A display that takes nothing is let go once, logged with its address, and counted for the
// drop report and the Statistics window.
TEST_F(controller_fixture, DisplayThatTakesNothingIsDroppedLoggedAndCounted) {
    run_to_ready();
    // The servers are lent read-only; the test shortens the limit they were made with.
    auto& server = const_cast<TWSocketServer&>(*controller->outputs().output_server(0));
    server.set_not_reading_limit_ms(1000);
    test::loopback_peer hung(static_cast<std::uint16_t>(first_port), 4096);
    hung.reading = false;
    ASSERT_TRUE(hung.wait_connected(2000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client_count() == 1; }, 2000));

    const std::string lines = test::with_checksum("$GPWPL,4917.16,N,12310.64,W,WP") + "\r\n";
    const bool dropped = QTest::qWaitFor(
        [&] {
            for (int d = 0; d < 20; ++d) input->capture(0, lines);
            controller->on_rx_datagram();
            controller->Timer100msTimer();
            return server.client_count() == 0;
        },
        10000);
    ASSERT_TRUE(dropped) << "the display that takes nothing was kept";
    const std::string logged = "client 127.0.0.1:";
    const std::size_t at = log_text().find(logged);
    ASSERT_NE(at, std::string::npos) << log_text();
    EXPECT_EQ(log_text().find(logged, at + 1), std::string::npos) << "logged more than once";
    EXPECT_NE(log_text().find("Output 1 client 127.0.0.1:"), std::string::npos);
    EXPECT_NE(log_text().find(" dropped: not reading for 1 s"), std::string::npos);
    EXPECT_EQ(controller->drops().drop_counts(0).clients_not_reading, 1u);
    EXPECT_EQ(controller->drops().drop_counts(1).clients_not_reading, 0u);
    const std::vector<std::string> report = controller->report_drops_since_start();
    EXPECT_TRUE(report.at(0).ends_with("; clients dropped on output 1: 1")) << report.at(0);
    EXPECT_EQ(report.at(1).find("clients dropped"), std::string::npos) << report.at(1);
}

// The default cap of one address: its seventeenth display connection is refused and logged.
TEST_F(controller_fixture, ConnectionBeyondTheHostCapIsRefusedAndLogged) {
    run_to_ready();
    const TWSocketServer& server = *controller->outputs().output_server(0);
    std::vector<std::unique_ptr<test::loopback_peer>> displays;
    for (int i = 0; i <= default_max_clients_per_host; ++i) {
        displays.push_back(std::make_unique<test::loopback_peer>(static_cast<std::uint16_t>(first_port)));
        ASSERT_TRUE(displays.back()->wait_connected(2000));
    }
    test::loopback_peer& refused = *displays.back();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            refused.read_available();
            return refused.ended();
        },
        2000));
    EXPECT_EQ(refused.received(), "");
    EXPECT_EQ(server.client_count(), default_max_clients_per_host);
    const std::string line =
        "Error QXE-206 (port 1): connections beyond 16 from one address refused in the last minute: 1, the "
        "latest from 127.0.0.1";
    EXPECT_NE(log_text().find(line), std::string::npos) << log_text();
}

// The hour is counted in driven ticks; an hour without drops logs nothing.
TEST_F(controller_fixture, HourlyDropLinePerInputOnlyWhenSomethingWasDropped) {
    run_to_ready();
    const std::string hdt = test::with_checksum("$HEHDT,101.5,T") + "\r\n";
    const std::string broken_gga = "$GPGGA,1*00\r\n";
    input->capture(0, hdt + broken_gga + broken_gga);
    input->capture(0, hdt, true);
    input->capture(1, hdt);
    input->skipped[0][static_cast<std::size_t>(frame_skip::fragment)] = 3;
    controller->on_rx_datagram();
    ticks(drop_hour::ticks_per_hour - 5);
    const std::string hour_line =
        "Dropped in the last hour on input 1: 6 of 7 (fragment 3, checksum mismatch 2, bad UDP checksum 1)";
    EXPECT_EQ(log_text().find("Dropped"), std::string::npos);
    ticks(1);
    EXPECT_NE(log_text().find(hour_line), std::string::npos) << log_text();
    EXPECT_EQ(log_text().find("on input 2"), std::string::npos);

    ticks(drop_hour::ticks_per_hour);
    EXPECT_EQ(log_text().find(hour_line), log_text().rfind(hour_line));

    controller->report_drops_since_start();
    EXPECT_NE(log_text().find("Dropped since start on input 1: 6 of 7 (fragment 3"), std::string::npos);
    EXPECT_NE(log_text().find("Dropped since start on input 2: 0 of 1"), std::string::npos);
}

// Waits until no client of `server` still writes an earlier batch, so that each gets every one.
void wait_clients_ready(const TWSocketServer& server) {
    static_cast<void>(QTest::qWaitFor(
        [&] {
            for (int i = 0; i < server.client_count(); ++i)
                if (!qobject_cast<TTcpSrvClient*>(server.client(i))->ready) return false;
            return true;
        },
        1000));
}

// Output 1 as plain lines, output 2 as iec450, each beside a TCP display: both receivers get
// the display's lines in its order, a batch of several datagrams among them, and the iec450
// lines count on from 1 under the output's own name.
TEST_F(controller_fixture, UdpOutputsCarryTheLinesTheirDisplaysGet) {
    test::udp_receiver plain;
    test::udp_receiver standard;
    input_settings = "output_0_udp=" + plain.destination() + "\noutput_1_udp=" + standard.destination() +
                     "\noutput_1_udp_format=iec450\noutput_1_sfi=VR0001\n";
    run_to_ready();
    test::loopback_peer first(static_cast<std::uint16_t>(first_port));
    test::loopback_peer second(static_cast<std::uint16_t>(first_port + 1));
    ASSERT_TRUE(first.wait_connected(2000));
    ASSERT_TRUE(second.wait_connected(2000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return controller->outputs().output_server(1)->client_count() == 1 &&
                   controller->outputs().output_server(0)->client_count() == 1;
        },
        2000));

    const std::string banner = "KestavTranslator\r\n";
    std::string sent;
    for (int round = 0; round < 3; ++round) {
        // More than one datagram holds, in datagrams of 20 lines that fit a captured frame.
        for (int part = 0; part < 3; ++part) {
            std::string lines;
            for (int k = 0; k < 20; ++k)
                lines += test::with_checksum("$GPWPL,4917.16,N,12310.64,W,WP" +
                                             std::to_string(round * 100 + part * 20 + k)) +
                         "\r\n";
            sent += lines;
            input->capture(0, lines);
            input->capture(1, lines);
        }
        controller->on_rx_datagram();
        wait_clients_ready(*controller->outputs().output_server(0));
        wait_clients_ready(*controller->outputs().output_server(1));
        controller->Timer100msTimer();
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            first.read_available();
            second.read_available();
            return first.received().size() == banner.size() + sent.size() &&
                   second.received().size() == banner.size() + sent.size();
        },
        2000));
    EXPECT_EQ(first.received(), banner + sent);
    EXPECT_EQ(second.received(), banner + sent);
    plain.read_available();
    standard.read_available();

    std::string plain_lines;
    for (const std::string& datagram : plain.datagrams) plain_lines += datagram;
    EXPECT_GT(plain.datagrams.size(), 3u);
    EXPECT_EQ(plain_lines, sent);

    std::string standard_lines;
    std::int64_t count = 0;
    for (std::string_view datagram : standard.datagrams) {
        ASSERT_TRUE(datagram.starts_with(std::string_view("UdPbC\0", 6)));
        datagram.remove_prefix(6);
        while (!datagram.empty()) {
            const std::string line(datagram.substr(0, datagram.find("\r\n") + 2));
            datagram.remove_prefix(line.size());
            nmea_tag_block tag;
            nmea_rejection why;
            const char* sentence = read_tag_block(line.c_str(), tag, why);
            ASSERT_NE(sentence, nullptr) << line;
            EXPECT_STREQ(tag.source, "VR0001");
            EXPECT_EQ(tag.line_count, ++count);
            standard_lines += sentence;
        }
    }
    EXPECT_EQ(standard_lines, sent);
    const output_facts facts = controller->outputs().facts(1);
    EXPECT_EQ(facts.udp.datagrams, standard.datagrams.size());
    EXPECT_EQ(facts.udp.failed, 0u);
}

// Sent from the loopback address, a datagram to another network has no way out: each batch
// fails, is counted and retried with the next, the failure is logged once, and the display of
// the same output gets every batch on time.
TEST_F(controller_fixture, FailingUdpSendsAreReportedOnceAndHoldNothingBack) {
    input_settings = "output_0_udp=192.0.2.1:60004\n";
    run_to_ready();
    test::loopback_peer screen(static_cast<std::uint16_t>(first_port));
    ASSERT_TRUE(screen.wait_connected(2000));
    const TWSocketServer& server = *controller->outputs().output_server(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.client_count() == 1; }, 2000));

    std::string sent;
    for (int round = 0; round < 3; ++round) {
        const std::string line =
            test::with_checksum("$GPWPL,4917.16,N,12310.64,W,WP" + std::to_string(round)) + "\r\n";
        sent += line;
        input->capture(0, line);
        controller->on_rx_datagram();
        wait_clients_ready(server);
        controller->Timer100msTimer();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                screen.read_available();
                return screen.received().ends_with(line);
            },
            1000))
            << "round " << round;
    }
    EXPECT_EQ(screen.received(), "KestavTranslator\r\n" + sent);
    const udp_traffic udp = controller->drops().drop_counts(0).udp;
    EXPECT_EQ(udp.failed, 3u);
    EXPECT_EQ(udp.datagrams, 0u);
    const std::string failure = "Error QXE-260: Output 1 UDP datagrams to 192.0.2.1:60004 not sent: ";
    const std::size_t at = log_text().find(failure);
    ASSERT_NE(at, std::string::npos) << log_text();
    EXPECT_EQ(log_text().find(failure, at + 1), std::string::npos) << "logged more than once";
}

// UDP settings that cannot be used are named, and that output sends no datagrams while its TCP
// port listens as ever.
TEST(UdpSettings, ThatCannotBeUsedAreReportedAndKeepTheirUdpOutputOff) {
    struct refused_case {
        const char* settings;
        const char* error;
    };
    const refused_case cases[] = {
        {"output_0_udp=239.192.0:60004\n",
         "Error QXE-660: UDP destination \"239.192.0:60004\" of output 1 is not an IPv4 address and a port 1 "
         "to "
         "65535 (ADDRESS:PORT); its UDP output stays off"},
        {"output_0_udp=239.192.0.4:0\n",
         "Error QXE-660: UDP destination \"239.192.0.4:0\" of output 1 is not an IPv4 address and a port 1 "
         "to "
         "65535 (ADDRESS:PORT); its UDP output stays off"},
        {"output_0_udp=239.192.0.4:60004\noutput_0_udp_format=iec-450\n",
         "Error QXE-661: Unknown UDP format \"iec-450\" of output 1, expected plain or iec450; its UDP "
         "output "
         "stays off"},
        {"output_0_udp=239.192.0.4:60004\noutput_0_udp_format=iec450\n",
         "Error QXE-662: System function ID \"\" of output 1 is not two capital letters and four digits, "
         "which "
         "iec450 needs; its UDP output stays off"},
        {"output_0_udp=239.192.0.4:60004\noutput_0_udp_format=iec450\noutput_0_sfi=vr0001\n",
         "Error QXE-662: System function ID \"vr0001\" of output 1 is not two capital letters and four "
         "digits, "
         "which iec450 needs; its UDP output stays off"},
        {"output_0_udp=239.192.0.4:60004\noutput_0_udp_ttl=256\n",
         "Error QXE-663: UDP hop limit 256 of output 1 is not 1 to 255; its UDP output stays off"},
    };
    for (const refused_case& c : cases) {
        test::scripted_controller gateway;
        gateway.input_settings = c.settings;
        ASSERT_TRUE(gateway.run_to_ready()) << c.settings;
        EXPECT_NE(gateway.log_text().find(c.error), std::string::npos) << gateway.log_text();
        EXPECT_EQ(gateway.controller->outputs().facts(0).udp_destination, "") << c.settings;
        EXPECT_TRUE(gateway.controller->outputs().is_open(0));
    }
}

TEST_F(controller_fixture, DestructionStopsTheThreadAndClosesTheOutputs) {
    run_to_ready();
    scripted_input* seen = input;
    bool stopped_before_close = false;
    QObject::connect(controller->outputs().output_server(0), &TWSocketServer::state_changed,
                     [&](TWSocketServer*, socket_state, socket_state now) {
                         if (now == socket_state::closed) stopped_before_close = seen->stopped;
                     });
    controller.reset();
    EXPECT_TRUE(stopped_before_close) << "the receive thread ends before the outputs close";
}

}  // namespace
}  // namespace vorlane
