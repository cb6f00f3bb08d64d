#include "config_window/config_win.h"

#include <QCloseEvent>
#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <cctype>
#include <chrono>
#include <exception>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error_texts.h"
#include "capture/capture_api.h"
#include "net/udp_sender.h"
#include "stream/input_format.h"
#include "stream/output_datagrams.h"
#include "stream/sender_identity.h"
#include "ui/form_style.h"
#include "ui/ui_config_win.h"
#include "validation/str_tok.h"

namespace vorlane {

namespace {

constexpr int max_address_length = 15;
// Taken for the first output port when its edit holds no number.
constexpr int fallback_output_port = 12001;

std::string_view without_surrounding_blanks(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// "0" to "255". A leading zero is refused: "010" reads as 10 here, as 8 to inet_aton, and never
// matches an adapter, whose addresses are compared as text.
bool is_address_number(std::string_view piece) {
    if (piece.empty() || piece.size() > 3 || (piece.size() > 1 && piece.front() == '0')) return false;
    int value = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

// What a junction box's list offers: the operator's words, and as item data the name the
// settings file holds.
template <typename Value>
struct named_choice {
    Value value;
    const char* text;
};
constexpr named_choice<datagram_format> format_choices[] = {
    {datagram_format::header8, "8-byte header"},
    {datagram_format::iec450, "IEC 61162-450"},
};
constexpr named_choice<nmea_editions> editions_choices[] = {
    {nmea_editions::current, "Current edition only"},
    {nmea_editions::all, "Also earlier editions"},
};

template <typename Value, std::size_t N>
void offer(QComboBox& list, const named_choice<Value> (&choices)[N]) {
    for (const named_choice<Value>& choice : choices)
        list.addItem(choice.text, QString(name_of(choice.value)));
}

constexpr named_choice<udp_format> udp_format_choices[] = {
    {udp_format::plain, "Plain lines"},
    {udp_format::iec450, "IEC 61162-450"},
};

// The checks the controller makes before it sends: an output without a destination sends no
// UDP, and its other fields are not its concern.
bool is_valid_udp_entry(std::string_view destination, const QComboBox& format, std::string_view sfi,
                        int hop_limit) {
    if (without_surrounding_blanks(destination).empty()) return true;
    sockaddr_in parsed{};
    udp_format chosen = udp_format::plain;
    return parse_udp_destination(without_surrounding_blanks(destination), parsed) &&
           parse_udp_format(format.currentData().toString().toStdString(), chosen) &&
           (chosen != udp_format::iec450 || is_system_function_id(without_surrounding_blanks(sfi))) &&
           hop_limit >= 1 && hop_limit <= 255;
}

// A box that sends standard datagrams: only its TAG blocks name a source, so only it has lines a
// source list could select, and only it may use the standard's multicast ports.
bool is_standard_sender(const QComboBox& format) {
    return format.currentData().toString() == name_of(datagram_format::iec450);
}

// The sender a junction box's settings pin, if they pin a readable one.
std::optional<ethernet_address> pinned_sender(const std::string& setting) {
    ethernet_address address{};
    if (setting.empty() || !parse_ethernet_address(setting, address)) return std::nullopt;
    return address;
}

// What the window shows of a junction box's sender, and the address its button may put in the
// field. Only a sender confirmed by sending alone is offered, on the gateway's own rule that a
// moment alone proves nothing, and none while a second one has been seen since the input opened:
// which of two is the box's is for the operator to find out and type.
struct sender_reading {
    QString text;
    std::optional<ethernet_address> offered;
};

sender_reading read_sender(const configuration_target& controller, const config_manager& config,
                           std::size_t box) {
    const sender_view view = controller.sender_seen(static_cast<int>(box));
    if (!view.sender) return {"nothing received yet", std::nullopt};
    const auto name = [](const ethernet_address& address) {
        return QString::fromStdString(text_of(address));
    };
    const QString sender = name(*view.sender);
    // A pinned sender is the one shown whether or not it has sent anything.
    const bool pinned = !view.confirmed && view.sender == pinned_sender(config.input_src_mac[box]);
    if (view.other) {
        const QString other = name(*view.other);
        if (pinned) return {QString("%1 pinned, %2 dropped").arg(sender, other), std::nullopt};
        return {QString("%1 and %2 both seen").arg(sender, other), std::nullopt};
    }
    if (pinned) return {sender + " pinned", std::nullopt};
    const QString alone_for = QString::number(sender_identity::confirm_after.count()) + " s";
    if (!view.confirmed) return {QString("%1, alone for less than %2").arg(sender, alone_for), std::nullopt};
    return {QString("%1, sent alone for %2").arg(sender, alone_for), view.sender};
}

bool is_valid_sender_entry(std::string_view text) {
    const std::string_view entry = without_surrounding_blanks(text);
    ethernet_address address{};
    return entry.empty() || parse_ethernet_address(entry, address);
}

void set_label_colour(QLabel& label, bool field_valid) {
    if (field_valid) {
        // Back to the colours the label inherits: the system's window text.
        label.setPalette(QPalette());
        return;
    }
    // Dark red while the window is usable; a disabled label stays greyed.
    static const QColor dark_red(128, 0, 0);
    QPalette palette = label.palette();
    palette.setColor(QPalette::Active, QPalette::WindowText, dark_red);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, dark_red);
    label.setPalette(palette);
}

}  // namespace

bool is_valid_ip(std::string_view text) {
    if (without_surrounding_blanks(text).size() > max_address_length) return false;
    std::string pieces(text);
    CStrTok tokenizer;
    tokenizer.keep_empty = true;
    int count = 0;
    for (const char* piece = tokenizer.first_token(pieces.data(), "."); piece != nullptr;
         piece = tokenizer.next_token(".")) {
        if (++count > 4 || !is_address_number(piece)) return false;
    }
    return count == 4;
}

bool is_valid_input_port(int port, bool standard_sender) {
    return (port >= 1000 && port <= 59999) || (standard_sender && port >= 60001 && port <= 60016);
}

int edit_number(const QString& text, int otherwise) {
    bool ok = false;
    const int number = text.trimmed().toInt(&ok, 10);
    return ok ? number : otherwise;
}

TConfigWin::TConfigWin(config_manager& settings, std::filesystem::path settings_file,
                       configuration_target& restarts, operator_dialogs& questions, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::TConfigWin>()),
      config(settings),
      config_file(std::move(settings_file)),
      controller(restarts),
      dialogs(questions),
      seen_timer(new QTimer(this)) {
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(form_font());
    centre_on_screen(*this);

    connect(ui->EditOutputPort, &QLineEdit::textChanged, this, [this] {
        changed = true;
        update_port_label();
        validate_fields();
    });
    // Every other field counts as a change and is checked at once too: a junction box edited
    // alone could otherwise not be saved, and an invalid entry there would be saved unchecked.
    for (QComboBox* address : {ui->cmbInIP, ui->cmbOutIP, ui->cmbInIPB})
        connect(address, &QComboBox::editTextChanged, this, &TConfigWin::field_changed);
    for (QLineEdit* edit : {ui->edVdr1Src, ui->edVdr1Dest, ui->edVdr1Port, ui->edVdr2Src, ui->edVdr2Dest,
                            ui->edVdr2Port, ui->edVdr1SrcB, ui->edVdr1DestB, ui->edVdr2SrcB, ui->edVdr2DestB})
        connect(edit, &QLineEdit::textChanged, this, &TConfigWin::field_changed);
    const auto boxes = junction_box_fields();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const box_fields& box = boxes[i];
        offer(*box.format, format_choices);
        connect(box.format, &QComboBox::currentIndexChanged, this, [this] {
            show_source_list_state();
            field_changed();
        });
        offer(*box.editions, editions_choices);
        connect(box.editions, &QComboBox::currentIndexChanged, this, &TConfigWin::field_changed);
        connect(box.sources, &QLineEdit::textChanged, this, &TConfigWin::field_changed);
        for (QLineEdit* edit : {box.sender, box.output_sources, box.failover, box.output_tags})
            connect(edit, &QLineEdit::textChanged, this, &TConfigWin::field_changed);
        connect(box.use_seen, &QPushButton::clicked, this, [this, i] { use_seen_sender(i); });
    }
    for (const udp_fields& udp : udp_output_fields()) {
        offer(*udp.format, udp_format_choices);
        connect(udp.format, &QComboBox::currentIndexChanged, this, &TConfigWin::field_changed);
        for (QLineEdit* edit : {udp.destination, udp.sfi, udp.hop_limit})
            connect(edit, &QLineEdit::textChanged, this, &TConfigWin::field_changed);
    }
    // Confirming takes 10 s and a second sender may appear at any time: what is shown, and
    // whether the button is offered, must follow while the operator watches, without a click.
    seen_timer->setInterval(std::chrono::seconds(1));
    connect(seen_timer, &QTimer::timeout, this, &TConfigWin::show_senders);
    connect(ui->ButtonSave, &QPushButton::clicked, this, &TConfigWin::ButtonSaveClick);
    connect(ui->ButtonLock, &QPushButton::clicked, this, &TConfigWin::ButtonLockClick);
    connect(ui->ButtonClose, &QPushButton::clicked, this, &TConfigWin::ButtonCloseClick);
}

TConfigWin::~TConfigWin() = default;

std::array<TConfigWin::box_fields, junction_box_count> TConfigWin::junction_box_fields() const {
    return {{{ui->cmbVdr1Format, ui->lblVdr1Format, ui->edVdr1Sources, ui->lblVdr1Sources, ui->edVdr1Mac,
              ui->lblVdr1Mac, ui->lblVdr1Seen, ui->ButtonVdr1Seen, ui->cmbVdr1Editions, ui->lblVdr1Editions,
              ui->edVdr1OutSources, ui->lblVdr1OutSources, ui->edVdr1Failover, ui->lblVdr1Failover,
              ui->edVdr1OutTags, ui->lblVdr1OutTags},
             {ui->cmbVdr2Format, ui->lblVdr2Format, ui->edVdr2Sources, ui->lblVdr2Sources, ui->edVdr2Mac,
              ui->lblVdr2Mac, ui->lblVdr2Seen, ui->ButtonVdr2Seen, ui->cmbVdr2Editions, ui->lblVdr2Editions,
              ui->edVdr2OutSources, ui->lblVdr2OutSources, ui->edVdr2Failover, ui->lblVdr2Failover,
              ui->edVdr2OutTags, ui->lblVdr2OutTags}}};
}

std::array<TConfigWin::udp_fields, output_count> TConfigWin::udp_output_fields() const {
    return {{{ui->lblUdp1, ui->edUdp1, ui->cmbUdp1Format, ui->edUdp1Sfi, ui->edUdp1Ttl},
             {ui->lblUdp2, ui->edUdp2, ui->cmbUdp2Format, ui->edUdp2Sfi, ui->edUdp2Ttl}}};
}

std::array<std::pair<QLineEdit*, QLineEdit*>, junction_box_count> TConfigWin::lan_b_fields() const {
    return {{{ui->edVdr1SrcB, ui->edVdr1DestB}, {ui->edVdr2SrcB, ui->edVdr2DestB}}};
}

void TConfigWin::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A restore from the task bar keeps what the operator typed.
    if (!event->spontaneous()) fill();
    show_senders();
    seen_timer->start();
}

void TConfigWin::hideEvent(QHideEvent* event) {
    seen_timer->stop();
    QDialog::hideEvent(event);
}

void TConfigWin::fill() {
    ui->EditOutputPort->setText(QString::number(config.output_port[0]));

    std::vector<std::string> adapters;
    list_adapter_ips(adapters);
    for (QComboBox* choice : {ui->cmbOutIP, ui->cmbInIP, ui->cmbInIPB}) {
        choice->clear();
        for (const std::string& address : adapters) choice->addItem(QString::fromStdString(address));
    }

    ui->cmbOutIP->setEditText(QString::fromStdString(config.output_ip));
    ui->cmbInIP->setEditText(QString::fromStdString(config.input_ip));
    ui->cmbInIPB->setEditText(QString::fromStdString(config.input_ip_b));
    ui->edVdr1Src->setText(QString::fromStdString(config.input_src_ip[0]));
    ui->edVdr2Src->setText(QString::fromStdString(config.input_src_ip[1]));
    ui->edVdr1Dest->setText(QString::fromStdString(config.input_dest_ip[0]));
    ui->edVdr2Dest->setText(QString::fromStdString(config.input_dest_ip[1]));
    ui->edVdr1Port->setText(QString::number(config.input_port[0]));
    ui->edVdr2Port->setText(QString::number(config.input_port[1]));
    const auto boxes = junction_box_fields();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        // A name the gateway does not know selects nothing, which the checks refuse.
        boxes[i].format->setCurrentIndex(
            boxes[i].format->findData(QString::fromStdString(config.input_format[i])));
        boxes[i].sources->setText(QString::fromStdString(config.input_sources[i]));
        boxes[i].sender->setText(QString::fromStdString(config.input_src_mac[i]));
        boxes[i].editions->setCurrentIndex(
            boxes[i].editions->findData(QString::fromStdString(config.input_editions[i])));
        boxes[i].output_sources->setText(QString::fromStdString(config.output_sources[i]));
        boxes[i].failover->setText(QString::number(config.output_failover[i]));
        boxes[i].output_tags->setText(QString::fromStdString(config.output_tags[i]));
    }
    for (std::size_t i = 0; i < junction_box_count; ++i) {
        lan_b_fields()[i].first->setText(QString::fromStdString(config.input_src_ip_b[i]));
        lan_b_fields()[i].second->setText(QString::fromStdString(config.input_dest_ip_b[i]));
    }
    show_source_list_state();
    const auto udp = udp_output_fields();
    for (std::size_t o = 0; o < udp.size(); ++o) {
        udp[o].destination->setText(QString::fromStdString(config.output_udp[o]));
        udp[o].format->setCurrentIndex(
            udp[o].format->findData(QString::fromStdString(config.output_udp_format[o])));
        udp[o].sfi->setText(QString::fromStdString(config.output_sfi[o]));
        udp[o].hop_limit->setText(QString::number(config.output_udp_ttl[o]));
    }

    update_port_label();
    show_locked_state(config.locked);
    changed = false;
    validate_fields();
}

void TConfigWin::show_locked_state(bool locked) {
    ui->ButtonLock->setText(locked ? "Locked" : "Lock");
    for (QWidget* field : std::initializer_list<QWidget*>{
             ui->EditOutputPort, ui->lblOut1, ui->lblOut2, ui->lblInIP, ui->lblOutIP, ui->cmbInIP,
             ui->cmbOutIP, ui->gbVdr1, ui->gbVdr2, ui->gbUdp, ui->lblInIPB, ui->cmbInIPB})
        field->setEnabled(!locked);
}

// Only the edit is greyed for an 8-byte header box; its text stays, and stays checked with its
// label in colour, since the controller refuses a bad list whatever the format.
void TConfigWin::show_source_list_state() {
    for (const box_fields& box : junction_box_fields())
        box.sources->setEnabled(is_standard_sender(*box.format));
}

void TConfigWin::show_senders() {
    for (std::size_t i = 0; i < junction_box_fields().size(); ++i) show_sender(i);
}

std::optional<ethernet_address> TConfigWin::show_sender(std::size_t box) {
    const sender_reading reading = read_sender(controller, config, box);
    const box_fields fields = junction_box_fields().at(box);
    fields.seen->setText(reading.text);
    fields.use_seen->setEnabled(reading.offered.has_value());
    return reading.offered;
}

// Read again at the click, not taken from the text on screen: a second sender may have come
// since. The field changes like a typed one; Save writes it.
void TConfigWin::use_seen_sender(std::size_t box) {
    if (const std::optional<ethernet_address> offered = show_sender(box))
        junction_box_fields().at(box).sender->setText(QString::fromStdString(text_of(*offered)));
}

void TConfigWin::field_changed() {
    changed = true;
    validate_fields();
}

void TConfigWin::update_port_label() {
    bool ok = false;
    const int first = ui->EditOutputPort->text().trimmed().toInt(&ok, 10);
    if (ok && first < std::numeric_limits<int>::max()) ui->lblOut2->setText(QString(" - %1").arg(first + 1));
}

void TConfigWin::validate_fields() {
    valid = true;
    try {
        auto check = [this](QLabel* label, bool field_valid) {
            set_label_colour(*label, field_valid);
            if (!field_valid) valid = false;
        };
        auto address = [](const QString& text) { return is_valid_ip(text.toStdString()); };
        check(ui->lblOut1, is_valid_output_port(edit_number(ui->EditOutputPort->text(), -1)));
        check(ui->lblOutIP, address(ui->cmbOutIP->currentText()));
        check(ui->lblInIP, address(ui->cmbInIP->currentText()));
        check(ui->lblVdr1Src, address(ui->edVdr1Src->text()));
        check(ui->lblVdr1Dest, address(ui->edVdr1Dest->text()));
        check(ui->lblVdr1Port, is_valid_input_port(edit_number(ui->edVdr1Port->text(), -1),
                                                   is_standard_sender(*ui->cmbVdr1Format)));
        check(ui->lblVdr2Src, address(ui->edVdr2Src->text()));
        check(ui->lblVdr2Dest, address(ui->edVdr2Dest->text()));
        check(ui->lblVdr2Port, is_valid_input_port(edit_number(ui->edVdr2Port->text(), -1),
                                                   is_standard_sender(*ui->cmbVdr2Format)));
        // LAN B's addresses may stay empty: one LAN, or the same address as on LAN A.
        auto optional_address = [&](const QString& text) {
            return text.trimmed().isEmpty() || address(text.trimmed());
        };
        check(ui->lblInIPB, optional_address(ui->cmbInIPB->currentText()));
        check(ui->lblVdr1SrcB, optional_address(ui->edVdr1SrcB->text()));
        check(ui->lblVdr1DestB, optional_address(ui->edVdr1DestB->text()));
        check(ui->lblVdr2SrcB, optional_address(ui->edVdr2SrcB->text()));
        check(ui->lblVdr2DestB, optional_address(ui->edVdr2DestB->text()));
        for (const box_fields& box : junction_box_fields()) {
            check(box.format_label, box.format->currentIndex() >= 0);
            check(box.editions_label, box.editions->currentIndex() >= 0);
            source_filter sources;
            check(box.sources_label, sources.parse(box.sources->text().toStdString()));
            check(box.sender_label, is_valid_sender_entry(box.sender->text().toStdString()));
            // Only lines of iec450 datagrams name their source: a list for a box of another
            // format would select nothing, and the gateway would leave it off.
            source_filter output_sources;
            check(box.output_sources_label,
                  output_sources.parse(box.output_sources->text().toStdString()) &&
                      (output_sources.takes_every_line() || is_standard_sender(*box.format)));
            check(box.failover_label, failover_times.holds(edit_number(box.failover->text(), 0)));
            output_tags tags;
            check(box.output_tags_label, parse_output_tags(box.output_tags->text().toStdString(), tags));
        }
        for (const udp_fields& udp : udp_output_fields())
            check(udp.label,
                  is_valid_udp_entry(udp.destination->text().toStdString(), *udp.format,
                                     udp.sfi->text().toStdString(), edit_number(udp.hop_limit->text(), 0)));
    } catch (const std::exception&) {
        valid = false;
    }
    ui->ButtonSave->setEnabled(changed && valid && !config.locked);
    ui->ButtonLock->setEnabled(valid && !config.locked);
}

void TConfigWin::ButtonSaveClick() {
    save();
}

// False when the settings file could not be written; that has been reported.
bool TConfigWin::save() {
    const int first_port = edit_number(ui->EditOutputPort->text(), fallback_output_port);
    config.output_port[0] = first_port;
    config.output_port[1] = first_port < std::numeric_limits<int>::max() ? first_port + 1 : first_port;
    config.output_ip = ui->cmbOutIP->currentText().toStdString();
    config.input_ip = ui->cmbInIP->currentText().toStdString();
    config.input_ip_b = ui->cmbInIPB->currentText().trimmed().toStdString();
    for (std::size_t i = 0; i < junction_box_count; ++i) {
        config.input_src_ip_b[i] = lan_b_fields()[i].first->text().trimmed().toStdString();
        config.input_dest_ip_b[i] = lan_b_fields()[i].second->text().trimmed().toStdString();
    }
    config.input_src_ip[0] = ui->edVdr1Src->text().toStdString();
    config.input_src_ip[1] = ui->edVdr2Src->text().toStdString();
    config.input_dest_ip[0] = ui->edVdr1Dest->text().toStdString();
    config.input_dest_ip[1] = ui->edVdr2Dest->text().toStdString();
    config.input_port[0] = edit_number(ui->edVdr1Port->text(), -1);
    config.input_port[1] = edit_number(ui->edVdr2Port->text(), -1);
    const auto boxes = junction_box_fields();
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        // Nothing chosen keeps the stored name; the checks keep Save and Lock from getting here so.
        if (boxes[i].format->currentIndex() >= 0)
            config.input_format[i] = boxes[i].format->currentData().toString().toStdString();
        config.input_sources[i] = boxes[i].sources->text().trimmed().toStdString();
        config.input_src_mac[i] = boxes[i].sender->text().trimmed().toStdString();
        if (boxes[i].editions->currentIndex() >= 0)
            config.input_editions[i] = boxes[i].editions->currentData().toString().toStdString();
        config.output_sources[i] = boxes[i].output_sources->text().trimmed().toStdString();
        config.output_failover[i] = edit_number(boxes[i].failover->text(), default_failover_seconds);
        config.output_tags[i] = boxes[i].output_tags->text().trimmed().toStdString();
    }
    const auto udp = udp_output_fields();
    for (std::size_t o = 0; o < udp.size(); ++o) {
        config.output_udp[o] = udp[o].destination->text().trimmed().toStdString();
        if (udp[o].format->currentIndex() >= 0)
            config.output_udp_format[o] = udp[o].format->currentData().toString().toStdString();
        config.output_sfi[o] = udp[o].sfi->text().trimmed().toStdString();
        config.output_udp_ttl[o] = edit_number(udp[o].hop_limit->text(), config.output_udp_ttl[o]);
    }

    const bool written = write_config(config, config_file);
    if (!written) {
        const std::string error = take_error(config);
        controller.update_status(error.empty() ? error_text(reported_error::settings_save_failed) : error,
                                 true);
    }
    // Stops input and outputs; the next tick reads the file back and reopens them.
    controller.restart();
    fill();
    return written;
}

void TConfigWin::ButtonLockClick() {
    if (!dialogs.ask_yes_no(
            this, "Vorlane",
            "WARNING: Locking in the config will prevent further changes to these settings and "
            "rules! Proceed?",
            operator_dialogs::icon::warning))
        return;
    if (!dialogs.ask_yes_no(this, "Vorlane", "Locking config from changes. Are you sure?",
                            operator_dialogs::icon::question))
        return;
    config.locked = true;
    if (!save()) {
        // The file does not hold the lock, so the settings are not locked: the next start
        // would accept changes again.
        config.locked = false;
        fill();
        return;
    }
    controller.update_status("Configuration locked", true);
}

void TConfigWin::ButtonCloseClick() {
    if (may_close()) hide();
}

bool TConfigWin::may_close() {
    return config.locked || !valid || !changed ||
           dialogs.ask_yes_no(this, "Vorlane", "You have unsaved config changes. Close without saving?",
                              operator_dialogs::icon::none);
}

void TConfigWin::reject() {
    ButtonCloseClick();
}

// The title bar's close box asks like Close. A close that does not come from the window system
// (the application ending with the user's session) never asks.
void TConfigWin::closeEvent(QCloseEvent* event) {
    if (event->spontaneous() && !may_close())
        event->ignore();
    else
        event->accept();
}

}  // namespace vorlane
