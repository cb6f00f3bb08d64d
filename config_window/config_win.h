#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "config/config_manager.h"
#include "config/setting_keys.h"
#include "controller/configuration_target.h"
#include "stream/sender_identity.h"
#include "ui/operator_dialogs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
namespace Ui {
class TConfigWin;
}

namespace vorlane {

// The checks of the configuration window's fields; the first output port's, which starts from the
// range the settings store accepts, is is_valid_output_port in config/setting_keys.h.

// An address as every part of the program writes and compares it: exactly four whole numbers
// from 0 to 255 in decimal, without sign, blanks or leading zeros, separated by dots.
bool is_valid_ip(std::string_view text);
// A junction box's destination UDP port: 1000 to 59999, and for a box that sends standard
// IEC 61162-450 datagrams also the ports of that standard's multicast groups, 60001 to 60016.
bool is_valid_input_port(int port, bool standard_sender = false);
// The decimal number an edit holds (surrounding blanks allowed), or `otherwise`.
int edit_number(const QString& text, int otherwise);

// The dialog in which the operator edits the settings record, saves it, has the controller
// restart input and outputs with it, and can lock it against any further change. Every field is
// checked as it changes: the label of an invalid field turns dark red, and Save and Lock are
// available only while all fields are valid.
class TConfigWin : public QDialog {
    Q_OBJECT
  public:
    // `config` is the process-wide record, `config_file` the settings file it is saved to, and
    // `controller` the part of the program that runs on it. `config`, `controller` and `dialogs`
    // must outlive the window.
    TConfigWin(config_manager& config, std::filesystem::path config_file, configuration_target& controller,
               operator_dialogs& dialogs, QWidget* parent = nullptr);
    ~TConfigWin() override;

    // What showing the window does: the fields from the record, unchanged, checked.
    void fill();
    void update_port_label();
    void validate_fields();

    bool is_changed() const { return changed; }
    bool is_valid() const { return valid; }

    void ButtonSaveClick();
    void ButtonLockClick();
    void ButtonCloseClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Escape presses Close.
    void reject() override;

  private:
    // The controls of one junction box's datagram format, source list, Ethernet sender and
    // sentence layouts, and of its output's source list, failover time and TAG blocks.
    struct box_fields {
        QComboBox* format;
        QLabel* format_label;
        QLineEdit* sources;
        QLabel* sources_label;
        QLineEdit* sender;
        QLabel* sender_label;
        QLabel* seen;
        QPushButton* use_seen;
        QComboBox* editions;
        QLabel* editions_label;
        QLineEdit* output_sources;
        QLabel* output_sources_label;
        QLineEdit* failover;
        QLabel* failover_label;
        QLineEdit* output_tags;
        QLabel* output_tags_label;
    };
    std::array<box_fields, junction_box_count> junction_box_fields() const;
    // The UDP settings of one output; `label` is coloured when any of them is refused.
    struct udp_fields {
        QLabel* label;
        QLineEdit* destination;
        QComboBox* format;
        QLineEdit* sfi;
        QLineEdit* hop_limit;
    };
    std::array<udp_fields, output_count> udp_output_fields() const;

    bool save();
    bool may_close();
    void field_changed();
    void show_locked_state(bool locked);
    void show_source_list_state();
    // What each junction box is seen sending from now, and whether its button may take it.
    void show_senders();
    // Shows what the box is seen sending from; answers the address its button may take, if any.
    std::optional<ethernet_address> show_sender(std::size_t box);
    // Each junction box's source and destination address on LAN B.
    std::array<std::pair<QLineEdit*, QLineEdit*>, junction_box_count> lan_b_fields() const;
    void use_seen_sender(std::size_t box);

    std::unique_ptr<Ui::TConfigWin> ui;
    config_manager& config;
    std::filesystem::path config_file;
    configuration_target& controller;
    operator_dialogs& dialogs;
    // Refreshes the senders seen while the window is shown.
    QTimer* seen_timer;
    bool changed = false;
    bool valid = false;
};

}  // namespace vorlane
