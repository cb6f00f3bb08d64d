// The status listener's answers as text: what a status text or a setting may hold stays text in
// every answer, and the per-minute ring keeps the last hour in order.
#include "status/status_pages.h"

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <string>

namespace vorlane {
namespace {

// A status line and a format setting are written by people and by error texts that quote them.
constexpr const char* hostile_text = "Error \"x\\y\"\n<script>alert(1)</script>&";

TEST(StatusPages, TextsFromSettingsAndStatusStayTextInEveryAnswer) {
    status_facts facts;
    facts.status = hostile_text;
    facts.inputs[1].format = hostile_text;
    const QDateTime started = QDateTime::fromSecsSinceEpoch(1'800'000'000);
    const drop_hour hour;
    const status_history history(hour);

    const std::string metrics = metrics_text(facts, started).toStdString();
    EXPECT_NE(
        metrics.find("vorlane_status{status=\"Error \\\"x\\\\y\\\"\\n<script>alert(1)</script>&\"} 1\n"),
        std::string::npos)
        << metrics;

    const QJsonDocument json = QJsonDocument::fromJson(status_json(facts, history, started));
    EXPECT_EQ(json["status"].toString().toStdString(), hostile_text);
    EXPECT_EQ(json["inputs"][1]["format"].toString().toStdString(), hostile_text);

    const std::string page = status_page(facts, history, started).toStdString();
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_NE(page.find("Error &quot;x\\y&quot;\n&lt;script&gt;alert(1)&lt;/script&gt;&amp;"),
              std::string::npos);
}

// Minute k closes with k accepted sentences on input 1 and 2k dropped ones on input 2.
TEST(StatusHistory, KeepsTheNewestHourOfMinutesOldestFirst) {
    drop_hour hour;
    status_history history(hour);
    std::array<input_drops, junction_box_count> counts{};
    constexpr std::size_t minutes = status_history::minutes_kept + 5;
    for (std::size_t k = 1; k <= minutes; ++k) {
        counts[0].stream.formatters[1].accepted += k;
        counts[1].frames[0] += 2 * k;
        history.close_minute(counts);
    }
    ASSERT_EQ(history.minutes(), status_history::minutes_kept);
    for (std::size_t m = 0; m < history.minutes(); ++m) {
        const std::size_t minute = minutes - status_history::minutes_kept + 1 + m;
        EXPECT_EQ(history.at(0, m).accepted, minute) << m;
        EXPECT_EQ(history.at(0, m).dropped, 0u) << m;
        EXPECT_EQ(history.at(1, m).dropped, 2 * minute) << m;
    }
    // The first hour is over: its line, not the one since start.
    hour.close(counts);
    EXPECT_EQ(history.hour_line(1, counts[1]).rfind("Dropped in the last hour on input 2: ", 0), 0u);
}

}  // namespace
}  // namespace vorlane
