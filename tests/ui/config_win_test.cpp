// The configuration window: field checks, Save, the two-step Lock and the Close question.
#include "config_window/config_win.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <filesystem>
#include <tuple>

#include "tests/ui/window_fixture.h"

namespace vorlane::test {
namespace {

TEST(IsValidIp, AcceptsOnlyFourDecimalNumbersUpTo255) {
    const std::pair<const char*, bool> rows[] = {
        {"192.168.1.1", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"172.31.24.10", true},
        {"192.168.1", false},
        {"192.168.1.1.", false},
        {"192.168..1", false},
        {".192.168.1", false},
        {"256.1.1.1", false},
        {"1.1.1.1000", false},
        {"", false},
        {"....", false},
        {"1.2.3.4.5", false},
        {"a.b.c.d", false},
        {"1.2.3.-4", false},
        {"1.2.3.+4", false},
        {"1.2.3.4 ", false},
        {" 1.2.3.4", false},
        {"010.0.0.1", false},
        {"1.2.3.00", false},
        {"1.2.3.0x1", false},
        {"1111.2.3.4567890", false},
        {"    1.2.3.4     ", false},
    };
    for (const auto& [text, valid] : rows) EXPECT_EQ(is_valid_ip(text), valid) << '"' << text << '"';
}

// The controller as the window reaches it, with the Ethernet senders it has seen scripted.
class scripted_senders : public configuration_target {
  public:
    explicit scripted_senders(TMainWin& controller) : real(controller) {}
    void update_status(const std::string& text, bool write_log) override {
        real.update_status(text, write_log);
    }
    void restart() override { real.restart(); }
    sender_view sender_seen(int box) const override { return seen.at(static_cast<std::size_t>(box)); }

    std::array<sender_view, 2> seen{};

  private:
    TMainWin& real;
};

constexpr ethernet_address box_sender{0x02, 0x00, 0x5e, 0x10, 0x00, 0x10};
constexpr ethernet_address other_sender{0x02, 0x00, 0x5e, 0x10, 0x00, 0x66};

struct config_fixture : window_fixture {
    scripted_senders senders{controller()};
    TConfigWin window{config, dir / "Vorlane.ini", senders, dialogs};

    template <typename T>
    T& control(const char* name) {
        auto* found = window.findChild<T*>(name);
        if (found == nullptr) throw std::logic_error(std::string("no control ") + name);
        return *found;
    }
    QLineEdit& edit(const char* name) { return control<QLineEdit>(name); }
    QComboBox& combo(const char* name) { return control<QComboBox>(name); }
    QLabel& label(const char* name) { return control<QLabel>(name); }
    QPushButton& button(const char* name) { return control<QPushButton>(name); }
    std::string ini() const { return read_file(dir / "Vorlane.ini"); }
};

TEST_F(config_fixture, LayoutAsTheOperatorKnowsIt) {
    EXPECT_EQ(window.windowTitle(), "Vorlane Configuration");
    EXPECT_EQ(window.size(), QSize(760, 880));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "fixed border";
    EXPECT_EQ(label("lblInIP").text(), "Input adapter IP address");
    EXPECT_EQ(control<QGroupBox>("gbVdr1").title(), " VDR Junction box 1 ");
    EXPECT_EQ(control<QGroupBox>("gbVdr2").title(), " VDR Junction box 2 ");
    EXPECT_EQ(label("lblVdr1Src").text(), "IP address");
    EXPECT_EQ(label("lblVdr2Dest").text(), "Destination IP address");
    EXPECT_EQ(label("lblOutIP").text(), "Output adapter IP address");
    EXPECT_EQ(label("lblOut1").text(), "Output ports");
    EXPECT_EQ(label("lblOut2").text(), " - 14002");
    EXPECT_TRUE(combo("cmbInIP").isEditable());
    EXPECT_EQ(button("ButtonLock").text(), "Lock");
    EXPECT_FALSE(button("ButtonLock").isEnabled());
    EXPECT_FALSE(button("ButtonSave").isEnabled());
    EXPECT_TRUE(button("ButtonClose").isDefault());
    window.show();
    EXPECT_LE(window.layout()->minimumSize().height(), window.height()) << "no field squeezed";
}

TEST_F(config_fixture, ShowingFillsTheFieldsFromTheRecord) {
    config.input_ip = "10.0.0.2";
    config.output_ip = "10.0.0.3";
    config.output_port[0] = 15000;
    config.input_src_ip[1] = "172.31.24.21";
    config.input_dest_ip[0] = "239.192.0.1";
    config.input_port[1] = 10022;
    window.show();
    EXPECT_EQ(combo("cmbInIP").currentText(), "10.0.0.2");
    EXPECT_EQ(combo("cmbOutIP").currentText(), "10.0.0.3");
    EXPECT_EQ(edit("EditOutputPort").text(), "15000");
    EXPECT_EQ(label("lblOut2").text(), " - 15001");
    EXPECT_EQ(edit("edVdr1Src").text(), "172.31.24.10");
    EXPECT_EQ(edit("edVdr2Src").text(), "172.31.24.21");
    EXPECT_EQ(edit("edVdr1Dest").text(), "239.192.0.1");
    EXPECT_EQ(edit("edVdr2Port").text(), "10022");
    EXPECT_FALSE(window.is_changed()) << "filling is no change";
    EXPECT_TRUE(window.is_valid());
    EXPECT_FALSE(button("ButtonSave").isEnabled());
    EXPECT_TRUE(button("ButtonLock").isEnabled());
}

TEST_F(config_fixture, OutputPortBoundaries) {
    // 0 and 65535 are refused: a listener on port 0 gets a port nobody knows, and 65535 would
    // put the second output on 65536, which does not exist.
    const std::pair<const char*, bool> rows[] = {
        {"1", true},      {"0", false},      {"65534", true}, {"65535", false}, {"1992", true},
        {"1993", false},  {"3500", false},   {"3501", true},  {"59992", true},  {"59993", false},
        {"60064", false}, {"60065", true},   {"-1", false},   {"65536", false}, {"abc", false},
        {"", false},      {" 15000 ", true}, {"14001", true},
    };
    window.show();
    for (const auto& [text, valid] : rows) {
        edit("EditOutputPort").setText(text);
        EXPECT_EQ(window.is_valid(), valid) << '"' << text << '"';
        EXPECT_EQ(is_dark_red(label("lblOut1")), !valid) << '"' << text << '"';
        EXPECT_EQ(button("ButtonSave").isEnabled(), valid) << '"' << text << '"';
        EXPECT_EQ(button("ButtonLock").isEnabled(), valid) << '"' << text << '"';
    }
}

TEST_F(config_fixture, JunctionBoxPortBoundaries) {
    const std::pair<const char*, bool> rows[] = {
        {"999", false}, {"1000", true}, {"59999", true}, {"60000", false},
        {"x", false},   {"", false},    {"10021", true},
    };
    window.show();
    for (const char* field : {"edVdr1Port", "edVdr2Port"}) {
        const std::string label_name = std::string("lblVdr") + field[5] + "Port";
        for (const auto& [text, valid] : rows) {
            edit(field).setText(text);
            EXPECT_EQ(window.is_valid(), valid) << field << " \"" << text << '"';
            EXPECT_EQ(is_dark_red(label(label_name.c_str())), !valid) << field << " \"" << text << '"';
        }
    }
}

// Standard senders use the multicast ports 60001 to 60016, which an 8-byte header box may not.
TEST_F(config_fixture, StandardSenderMayUseTheStandardPorts) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"iec450", "60004", true},  {"iec450", "60016", true},   {"iec450", "60000", false},
        {"iec450", "60017", false}, {"header8", "60004", false}, {"header8", "59999", true},
    };
    window.show();
    auto& format = *window.findChild<QComboBox*>("cmbVdr2Format");
    for (const auto& [name, port, valid] : rows) {
        format.setCurrentIndex(format.findData(QString(name)));
        edit("edVdr2Port").setText(port);
        EXPECT_EQ(window.is_valid(), valid) << name << " " << port;
    }
}

TEST_F(config_fixture, EveryAddressFieldColoursItsLabel) {
    const std::pair<const char*, const char*> edits[] = {
        {"edVdr1Src", "lblVdr1Src"},   {"edVdr1Dest", "lblVdr1Dest"}, {"edVdr2Src", "lblVdr2Src"},
        {"edVdr2Dest", "lblVdr2Dest"}, {"edVdr1SrcB", "lblVdr1SrcB"}, {"edVdr2DestB", "lblVdr2DestB"},
    };
    const std::pair<const char*, const char*> combos[] = {
        {"cmbInIP", "lblInIP"}, {"cmbOutIP", "lblOutIP"}, {"cmbInIPB", "lblInIPB"}};
    window.show();
    auto check = [this](const char* label_name, auto set_text) {
        set_text("192.168.1.256");
        EXPECT_TRUE(is_dark_red(label(label_name))) << label_name;
        EXPECT_FALSE(window.is_valid()) << label_name;
        EXPECT_FALSE(button("ButtonSave").isEnabled()) << label_name;
        EXPECT_FALSE(button("ButtonLock").isEnabled()) << label_name;
        set_text("192.168.1.25");
        EXPECT_FALSE(is_dark_red(label(label_name))) << label_name;
        EXPECT_TRUE(window.is_valid()) << label_name;
        EXPECT_TRUE(button("ButtonSave").isEnabled()) << label_name << ": a change of any field can be saved";
    };
    for (const auto& [field, label_name] : edits)
        check(label_name, [&, field = field](const char* text) { edit(field).setText(text); });
    for (const auto& [field, label_name] : combos)
        check(label_name, [&, field = field](const char* text) { combo(field).setEditText(text); });
}

TEST_F(config_fixture, SecondPortFollowsTheFirst) {
    window.show();
    edit("EditOutputPort").setText("15000");
    EXPECT_EQ(label("lblOut2").text(), " - 15001");
    edit("EditOutputPort").setText("15a");
    EXPECT_EQ(label("lblOut2").text(), " - 15001") << "no number leaves the label alone";
}

TEST_F(config_fixture, SaveWritesTheFileRestartsAndRefills) {
    window.show();
    edit("EditOutputPort").setText("15000");
    combo("cmbInIP").setEditText("127.0.0.1");
    edit("edVdr2Src").setText("172.31.24.21");
    edit("edVdr1Port").setText("10031");
    button("ButtonSave").click();

    EXPECT_EQ(config.output_port[0], 15000);
    EXPECT_EQ(config.output_port[1], 15001);
    EXPECT_EQ(config.input_ip, "127.0.0.1");
    const std::string file = ini();
    for (const char* line : {"first_output_port=15000\n", "input_ip=127.0.0.1\n",
                             "input_1_src_ip=172.31.24.21\n", "input_0_port=10031\n", "locked=0\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    EXPECT_EQ(input->closes, 1) << "restart stops the input";
    EXPECT_FALSE(window.is_changed());
    EXPECT_FALSE(button("ButtonSave").isEnabled());
    EXPECT_EQ(edit("EditOutputPort").text(), "15000");
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(std::filesystem::exists(dir / "Vorlane.log")) << "a successful save logs nothing";
}

TEST_F(config_fixture, FailedSaveIsReportedAndLogged) {
    std::filesystem::create_directory(dir / "Vorlane.ini");
    window.show();
    edit("EditOutputPort").setText("15000");
    button("ButtonSave").click();
    const std::vector<std::string> lines = logged();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Error QXE-6", 0), 0u) << lines[0];
    EXPECT_EQ(main_window->status_text().toStdString(), lines[0]);
    EXPECT_EQ(input->closes, 1) << "the restart reads the file back over the record";
}

TEST_F(config_fixture, LockAsksTwiceThenLocksFileAndWindow) {
    dialogs.answers = {true, true};
    window.show();
    button("ButtonLock").click();

    ASSERT_EQ(dialogs.asked.size(), 2u);
    EXPECT_EQ(dialogs.asked[0].caption, "Vorlane");
    EXPECT_EQ(
        dialogs.asked[0].text,
        "WARNING: Locking in the config will prevent further changes to these settings and rules! Proceed?");
    EXPECT_EQ(dialogs.asked[0].symbol, operator_dialogs::icon::warning);
    EXPECT_EQ(dialogs.asked[1].caption, "Vorlane");
    EXPECT_EQ(dialogs.asked[1].text, "Locking config from changes. Are you sure?");
    EXPECT_EQ(dialogs.asked[1].symbol, operator_dialogs::icon::question);

    EXPECT_TRUE(config.locked);
    EXPECT_NE(ini().find("locked=1\n"), std::string::npos) << ini();
    EXPECT_EQ(logged(), std::vector<std::string>{"Configuration locked"});
    EXPECT_EQ(main_window->status_text(), "Configuration locked");
    EXPECT_EQ(button("ButtonLock").text(), "Locked");
    EXPECT_FALSE(button("ButtonLock").isEnabled());
    EXPECT_FALSE(button("ButtonSave").isEnabled());
    for (const char* name : {"EditOutputPort", "lblOut1", "lblOut2", "lblInIP", "lblOutIP", "cmbInIP",
                             "cmbOutIP", "gbVdr1", "gbVdr2", "edVdr1Src", "lblVdr2Port"})
        EXPECT_FALSE(control<QWidget>(name).isEnabled()) << name;
    EXPECT_TRUE(button("ButtonClose").isEnabled());
}

TEST_F(config_fixture, LockDeclinedAtEitherQuestionChangesNothing) {
    const std::deque<bool> scripts[] = {{false}, {true, false}};
    for (const std::deque<bool>& answers : scripts) {
        dialogs.answers = answers;
        window.show();
        button("ButtonLock").click();
        EXPECT_FALSE(config.locked);
        EXPECT_FALSE(std::filesystem::exists(dir / "Vorlane.ini"));
        EXPECT_TRUE(button("ButtonLock").isEnabled());
        EXPECT_EQ(input->closes, 0);
    }
}

TEST_F(config_fixture, LockThatCannotBeWrittenDoesNotLock) {
    std::filesystem::create_directory(dir / "Vorlane.ini");
    dialogs.answers = {true, true};
    window.show();
    button("ButtonLock").click();
    EXPECT_FALSE(config.locked);
    EXPECT_EQ(button("ButtonLock").text(), "Lock");
    EXPECT_TRUE(edit("EditOutputPort").isEnabled());
    const std::vector<std::string> lines = logged();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("Error QXE-6", 0), 0u) << lines[0];
}

TEST_F(config_fixture, LockedSettingsFromTheFileShowLockedAndCloseAtOnce) {
    write_file(dir / "Vorlane.ini", "[Vorlane]\nlocked=1\n");
    ASSERT_TRUE(read_config(config, dir / "Vorlane.ini"));
    senders.seen[0] = {box_sender, true, std::nullopt};
    window.show();
    EXPECT_EQ(button("ButtonLock").text(), "Locked");
    EXPECT_FALSE(button("ButtonLock").isEnabled());
    EXPECT_FALSE(combo("cmbOutIP").isEnabled());
    EXPECT_FALSE(button("ButtonVdr1Seen").isEnabled()) << "no pin into locked settings";
    EXPECT_FALSE(control<QGroupBox>("gbVdr2").isEnabled());
    button("ButtonClose").click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs.asked.empty());
}

TEST_F(config_fixture, CloseWithoutChangesOrWithInvalidOnesDoesNotAsk) {
    window.show();
    button("ButtonClose").click();
    EXPECT_FALSE(window.isVisible());

    window.show();
    edit("EditOutputPort").setText("3000");
    button("ButtonClose").click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_EQ(config.output_port[0], 14001) << "nothing saved";
    EXPECT_FALSE(std::filesystem::exists(dir / "Vorlane.ini"));
}

TEST_F(config_fixture, CloseWithUnsavedChangesAsks) {
    dialogs.answers = {false, true};
    window.show();
    edit("EditOutputPort").setText("15000");
    button("ButtonClose").click();
    ASSERT_EQ(dialogs.asked.size(), 1u);
    EXPECT_EQ(dialogs.asked[0].caption, "Vorlane");
    EXPECT_EQ(dialogs.asked[0].text, "You have unsaved config changes. Close without saving?");
    EXPECT_TRUE(window.isVisible()) << "No keeps the window open";

    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&window, &escape);
    EXPECT_EQ(dialogs.asked.size(), 2u) << "Escape presses Close";
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(config.output_port[0], 14001) << "the record is unchanged until Save";

    window.show();
    EXPECT_EQ(edit("EditOutputPort").text(), "14001") << "showing again fills from the record";
}

TEST_F(config_fixture, FormatAndSourcesFilledFromTheRecord) {
    struct row {
        const char* stored;
        const char* shown;  // item data, empty for no selection
        bool valid;
        bool sources_editable;
    };
    // "iec45" is a hand-edited typo: nothing is chosen for the operator.
    const row rows[] = {
        {"header8", "header8", true, false},
        {"iec450", "iec450", true, true},
        {"iec45", "", false, false},
    };
    for (const row& r : rows) {
        config.input_format[1] = r.stored;
        config.input_sources[1] = "GP0001";
        window.show();
        EXPECT_EQ(combo("cmbVdr2Format").currentData().toString(), r.shown) << r.stored;
        EXPECT_EQ(combo("cmbVdr2Format").currentIndex() >= 0, r.valid) << r.stored;
        EXPECT_EQ(is_dark_red(label("lblVdr2Format")), !r.valid) << r.stored;
        EXPECT_EQ(edit("edVdr2Sources").text(), "GP0001") << r.stored;
        EXPECT_EQ(edit("edVdr2Sources").isEnabled(), r.sources_editable) << r.stored;
        EXPECT_EQ(window.is_valid(), r.valid) << r.stored;
        EXPECT_EQ(button("ButtonLock").isEnabled(), r.valid) << r.stored;
        window.hide();
    }
}

TEST_F(config_fixture, UnknownFormatBlocksSaveUntilOneIsChosen) {
    config.input_format[0] = "IEC450";
    window.show();
    EXPECT_FALSE(window.is_valid());
    edit("EditOutputPort").setText("15000");
    EXPECT_FALSE(button("ButtonSave").isEnabled());
    combo("cmbVdr1Format").setCurrentIndex(combo("cmbVdr1Format").findData("iec450"));
    EXPECT_FALSE(is_dark_red(label("lblVdr1Format")));
    EXPECT_TRUE(button("ButtonSave").isEnabled());
}

TEST_F(config_fixture, SourceListChecks) {
    const std::pair<const char*, bool> rows[] = {
        {" GP0001 , HE0001 ", true},
        {"", true},
        {"GP0001,", false},
        {"GP-001", false},
    };
    config.input_format[0] = "iec450";
    window.show();
    for (const auto& [text, valid] : rows) {
        edit("edVdr1Sources").setText(text);
        EXPECT_EQ(is_dark_red(label("lblVdr1Sources")), !valid) << '"' << text << '"';
        EXPECT_EQ(button("ButtonSave").isEnabled(), valid) << '"' << text << '"';
    }
}

TEST_F(config_fixture, SaveWritesFormatAndSources) {
    window.show();
    combo("cmbVdr2Format").setCurrentIndex(combo("cmbVdr2Format").findData("iec450"));
    edit("edVdr2Sources").setText(" GP0001,HE0001 ");
    button("ButtonSave").click();
    const std::string file = ini();
    for (const char* line : {"input_1_format=iec450\n", "input_1_sources=GP0001,HE0001\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    EXPECT_EQ(file.find("input_0_format"), std::string::npos) << "box 1 stays header8 without the key";
}

// A hand-edited value selects nothing and blocks Save, as a format does; a choice is written.
TEST_F(config_fixture, EditionsFilledFromTheRecordAndSaved) {
    config.input_editions[0] = "every";
    config.input_editions[1] = "all";
    window.show();
    EXPECT_EQ(combo("cmbVdr2Editions").currentData().toString(), "all");
    EXPECT_LT(combo("cmbVdr1Editions").currentIndex(), 0);
    EXPECT_TRUE(is_dark_red(label("lblVdr1Editions")));
    EXPECT_FALSE(window.is_valid());
    combo("cmbVdr1Editions").setCurrentIndex(combo("cmbVdr1Editions").findData("current"));
    combo("cmbVdr2Editions").setCurrentIndex(combo("cmbVdr2Editions").findData("current"));
    EXPECT_FALSE(is_dark_red(label("lblVdr1Editions")));
    combo("cmbVdr1Editions").setCurrentIndex(combo("cmbVdr1Editions").findData("all"));
    button("ButtonSave").click();
    EXPECT_NE(ini().find("input_0_editions=all\n"), std::string::npos) << ini();
    EXPECT_EQ(ini().find("input_1_editions"), std::string::npos) << "box 2 is current without the key";
}

// An output's UDP settings as the controller judges them: without a destination nothing else
// matters; iec450 needs a system function ID.
TEST_F(config_fixture, UdpOutputChecks) {
    struct row {
        const char* destination;
        const char* format;
        const char* sfi;
        const char* hop_limit;
        bool valid;
    };
    const row rows[] = {
        {"", "iec450", "", "0", true},
        {"239.192.0.4:60004", "iec450", "VR0001", "1", true},
        {" 10.0.0.255:10110 ", "plain", "", "255", true},
        {"239.192.0.4", "plain", "", "1", false},
        {"239.192.0.4:0", "plain", "", "1", false},
        {"239.192.0.4:60004", "iec450", "", "1", false},
        {"239.192.0.4:60004", "iec450", "vr0001", "1", false},
        {"239.192.0.4:60004", "plain", "", "256", false},
    };
    window.show();
    for (const row& r : rows) {
        edit("edUdp2").setText(r.destination);
        combo("cmbUdp2Format").setCurrentIndex(combo("cmbUdp2Format").findData(r.format));
        edit("edUdp2Sfi").setText(r.sfi);
        edit("edUdp2Ttl").setText(r.hop_limit);
        EXPECT_EQ(is_dark_red(label("lblUdp2")), !r.valid)
            << r.destination << " " << r.sfi << " " << r.hop_limit;
        EXPECT_EQ(button("ButtonSave").isEnabled(), r.valid)
            << r.destination << " " << r.sfi << " " << r.hop_limit;
    }
}

TEST_F(config_fixture, UdpOutputFilledFromTheRecordAndSaved) {
    config.output_udp[0] = "239.192.0.4:60004";
    config.output_udp_format[0] = "iec450";
    config.output_sfi[0] = "VR0001";
    config.output_udp_ttl[0] = 2;
    window.show();
    EXPECT_EQ(edit("edUdp1").text(), "239.192.0.4:60004");
    EXPECT_EQ(combo("cmbUdp1Format").currentData().toString(), "iec450");
    EXPECT_EQ(edit("edUdp1Sfi").text(), "VR0001");
    EXPECT_EQ(edit("edUdp1Ttl").text(), "2");
    edit("edUdp2").setText("10.0.0.255:10110");
    button("ButtonSave").click();
    const std::string file = ini();
    for (const char* line :
         {"output_0_udp=239.192.0.4:60004\n", "output_0_udp_format=iec450\n", "output_0_sfi=VR0001\n",
          "output_0_udp_ttl=2\n", "output_1_udp=10.0.0.255:10110\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    EXPECT_EQ(file.find("output_1_udp_format"), std::string::npos) << "plain is the default and not written";
}

TEST_F(config_fixture, HeaderOnlySaveWritesNoFormatKeys) {
    window.show();
    edit("EditOutputPort").setText("15000");
    button("ButtonSave").click();
    for (const char* key : {"_format=", "_sources=", "_ip_b="})
        EXPECT_EQ(ini().find(key), std::string::npos) << key << " in\n" << ini();
}

TEST_F(config_fixture, SaveWritesTheSecondLan) {
    window.show();
    combo("cmbInIPB").setEditText("172.31.25.1");
    edit("edVdr2SrcB").setText("172.31.25.11");
    edit("edVdr2DestB").setText(" 172.31.25.1 ");
    button("ButtonSave").click();
    const std::string file = ini();
    for (const char* line :
         {"input_ip_b=172.31.25.1\n", "input_1_src_ip_b=172.31.25.11\n", "input_1_dest_ip_b=172.31.25.1\n"})
        EXPECT_NE(file.find(line), std::string::npos) << line << " in\n" << file;
    EXPECT_EQ(file.find("input_0_src_ip_b"), std::string::npos) << "box 1 is the same on LAN B";
}

TEST_F(config_fixture, UseSeenPutsTheConfirmedSoleSenderInAndSaveWritesIt) {
    senders.seen[1] = {box_sender, true, std::nullopt};
    window.show();
    button("ButtonVdr2Seen").click();
    EXPECT_EQ(edit("edVdr2Mac").text(), "02:00:5e:10:00:10");
    button("ButtonSave").click();
    EXPECT_NE(ini().find("input_1_src_mac=02:00:5e:10:00:10\n"), std::string::npos) << ini();
    EXPECT_EQ(ini().find("input_0_src_mac"), std::string::npos) << "box 1 still confirms its sender";
}

// One click never chooses between two senders, nor takes one that has not sent alone long enough
// for the gateway to confirm it.
TEST_F(config_fixture, UseSeenOffersOnlyAConfirmedSoleSender) {
    struct row {
        const char* name;
        sender_view seen;
        bool offered;
    };
    const row rows[] = {
        {"nothing_received", {}, false},
        {"alone_not_yet_confirmed", {box_sender, false, std::nullopt}, false},
        {"confirmed_alone", {box_sender, true, std::nullopt}, true},
        {"two_unconfirmed", {box_sender, false, other_sender}, false},
        {"confirmed_and_another", {box_sender, true, other_sender}, false},
    };
    for (const row& r : rows) {
        senders.seen[0] = r.seen;
        window.show();
        EXPECT_EQ(button("ButtonVdr1Seen").isEnabled(), r.offered) << r.name;
        if (r.seen.other) {
            const QString seen = label("lblVdr1Seen").text();
            EXPECT_TRUE(seen.contains("02:00:5e:10:00:10") && seen.contains("02:00:5e:10:00:66"))
                << r.name << ": the operator is told both to choose from: " << seen.toStdString();
        }
        window.hide();
    }
}

TEST_F(config_fixture, UseSeenRereadsASecondSenderThatCameAfterTheTextWasShown) {
    senders.seen[0] = {box_sender, true, std::nullopt};
    window.show();
    senders.seen[0].other = other_sender;
    button("ButtonVdr1Seen").click();
    EXPECT_EQ(edit("edVdr1Mac").text(), "");
    EXPECT_FALSE(button("ButtonVdr1Seen").isEnabled());
    EXPECT_FALSE(window.is_changed());
}

// In order: the empty field comes after a bad entry, so that clearing it is a change to save.
TEST_F(config_fixture, SenderEntryChecks) {
    const std::pair<const char*, bool> rows[] = {
        {" 00:1B:21:3a:4f:10 ", true}, {"00-1b-21-3a-4f-10", true},
        {"00:1b:21:3a:4f:1", false},   {"", true},
        {"00:1b:21-3a:4f:10", false},  {"00:1b:21:3a:4f:10:00", false},
        {"00:1b:21:3a:4g:10", false},
    };
    window.show();
    for (const auto& [text, valid] : rows) {
        edit("edVdr1Mac").setText(text);
        EXPECT_EQ(is_dark_red(label("lblVdr1Mac")), !valid) << '"' << text << '"';
        EXPECT_EQ(button("ButtonSave").isEnabled(), valid) << '"' << text << '"';
        EXPECT_EQ(button("ButtonLock").isEnabled(), valid) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace vorlane::test
