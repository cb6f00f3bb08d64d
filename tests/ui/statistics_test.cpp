// The Statistics window: filled from the controller's counts once a second, reset, saved.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

#include "monitor/statistics_win.h"
#include "tests/support/nmea_text.h"
#include "tests/ui/window_fixture.h"

namespace vorlane::test {
namespace {

struct statistics_fixture : window_fixture {
    TStatisticsWin statistics{&controller().drops(), dialogs};

    template <typename T>
    T& control(const char* name) {
        return control_of<T>(statistics, name);
    }
    // The table's cells, row by row, tab-separated.
    QStringList rows(const char* grid_name) {
        const auto& grid = control<QTableWidget>(grid_name);
        QStringList out;
        for (int row = 0; row < grid.rowCount(); ++row) {
            QStringList cells;
            for (int column = 0; column < grid.columnCount(); ++column)
                cells << (grid.item(row, column) != nullptr ? grid.item(row, column)->text() : "");
            out << cells.join('\t');
        }
        return out;
    }
    void receive(std::int32_t box, std::string lines, bool bad_checksum = false) {
        std::string payload = std::string("UdPbC\0\0\0", 8) + lines;
        const auto length = static_cast<std::int32_t>(payload.size());
        payload.push_back('\0');
        manager->process_datagram(box, box, reinterpret_cast<std::uint8_t*>(payload.data()), length,
                                  bad_checksum);
    }
};

const std::string hdt = with_checksum("$HEHDT,101.5,T");
const std::string old_rmc = with_checksum("$GPRMC,120000.00,A,5400.000,N,01000.000,E,0.0,0.0,010125,,,A");

TEST_F(statistics_fixture, ShowsTheCountsOfEachInputAtTheNextTickAndFromResetOn) {
    statistics.show();
    receive(0, hdt + "\r\n" + old_rmc + "\r\n" + old_rmc + "\r\n");
    receive(1, hdt + "\r\n", true);
    EXPECT_EQ(rows("GridInput1"), QStringList{}) << "nothing is drawn between two ticks";
    tick();
    EXPECT_EQ(rows("GridInput1"),
              (QStringList{"HDT\t1\t0\t\t\t", "RMC\t0\t2\tfewer fields than the formatter needs\t" +
                                                  QString::fromStdString(old_rmc) + "\t"}));
    EXPECT_EQ(rows("GridInput2"), QStringList{});
    EXPECT_TRUE(rows("GridFrames").contains("bad UDP checksum\t0\t1"));
    input->unconfigured = 3;
    tick();
    EXPECT_TRUE(rows("GridFrames").contains("unconfigured source\t3\t")) << "one count for neither input";
    EXPECT_EQ(control<QPlainTextEdit>("MemoRejected").toPlainText().count('\n'), 2);
    EXPECT_TRUE(control<QPlainTextEdit>("MemoRejected")
                    .toPlainText()
                    .startsWith("input 1: RMC: 12 fields, at least 13 needed: $GPRMC,"));

    control<QPushButton>("ButtonReset").click();
    EXPECT_EQ(rows("GridInput1"), QStringList{});
    EXPECT_TRUE(rows("GridFrames").contains("bad UDP checksum\t0\t0"));
    EXPECT_TRUE(rows("GridFrames").contains("unconfigured source\t0\t"));
    EXPECT_EQ(control<QPlainTextEdit>("MemoRejected").toPlainText(), "");
    receive(0, old_rmc + "\r\n");
    tick();
    EXPECT_EQ(rows("GridInput1").size(), 1);
    EXPECT_TRUE(rows("GridInput1").front().startsWith("RMC\t0\t1\t"));

    dialogs.file_names.push_back(QString::fromStdString((dir / "statistics.txt").string()));
    control<QToolButton>("sbFileLog").click();
    ASSERT_EQ(dialogs.save_requests.size(), 1u);
    EXPECT_EQ(dialogs.save_requests[0].title, "Save statistics to file");
    EXPECT_EQ(QString::fromStdString(read_file(dir / "statistics.txt")), statistics.report_text());
    EXPECT_TRUE(statistics.report_text().contains("RMC\t0\t1\t"));
}

TEST_F(statistics_fixture, SentencesOfAnEarlierLayoutAreCountedApart) {
    manager->set_input_editions(1, nmea_editions::all);
    statistics.show();
    receive(1, hdt + "\r\n" + old_rmc + "\r\n");
    tick();
    EXPECT_EQ(rows("GridInput2"), (QStringList{"HDT\t1\t0\t\t\t", "RMC\t1\t0\t\t\t1"}));
}

TEST_F(statistics_fixture, RejectedLinesAreSavedWithTheirControlBytesShownAsDots) {
    statistics.show();
    receive(0, "$HEHDT,1\x1b[2J\x07,T*00\r\n");
    tick();
    dialogs.file_names.push_back(QString::fromStdString((dir / "statistics.txt").string()));
    control<QToolButton>("sbFileLog").click();
    const std::string saved = read_file(dir / "statistics.txt");
    EXPECT_NE(saved.find("$HEHDT,1.[2J.,T*00"), std::string::npos) << saved;
    for (const char c : saved)
        EXPECT_TRUE(c == '\n' || c == '\t' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

}  // namespace
}  // namespace vorlane::test
