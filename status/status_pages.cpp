#include "status/status_pages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "net/socket_server.h"

namespace vorlane {

namespace {

// --- The facts of each input and output, one row each -----------------------------------------

// A fact as read from the copy: a text, a count, a number as set (a port, which a setting may
// leave negative), or a yes/no.
using fact_value = std::variant<std::string_view, std::uint64_t, std::int64_t, bool>;
// A label of a metric sample or of a part of a count: name and value.
using label = std::pair<const char*, std::string_view>;
// Visits the parts a count is made of, each with the labels that tell it apart.
using part_visit = std::function<void(std::initializer_list<label>, std::uint64_t)>;

// Where the page shows a fact: in a column of its own, behind the previous column's text after
// a colon (a port behind its address), or not at all.
enum class page_cell : std::uint8_t { column, behind_colon, none };

// A family of the metrics; no name: the fact is not among them. "%d" in the help stands for
// help_number, so that a limit the help quotes comes from the constant it describes.
struct metric_family {
    const char* name = nullptr;
    const char* type = nullptr;
    const char* help = nullptr;
    int help_number = 0;
};

// One fact of an input or an output, the only place its names are spelled: the JSON member, the
// page's column and the metric family all render this row. A count with parts gives them to the
// metrics, one sample each, and to the JSON under parts_key when that is set.
template <typename Facts>
struct fact_row {
    const char* key;
    const char* heading;
    page_cell cell;
    fact_value (*read)(const Facts&);
    metric_family metric{};
    void (*parts)(const Facts&, const part_visit&) = nullptr;
    const char* parts_key = nullptr;
};

// The count `Count` of every formatter that has one.
template <std::uint64_t formatter_tally::*Count>
void by_formatter(const input_facts& input, const part_visit& visit) {
    for (std::size_t row = 0; row < formatter_row_count; ++row)
        if (const std::uint64_t count = input.counts.stream.formatters[row].*Count; count != 0)
            visit({{"formatter", formatter_row_name(row)}}, count);
}

std::uint64_t earlier_layout_sentences(const input_facts& input) {
    std::uint64_t total = 0;
    for (const formatter_tally& formatter : input.counts.stream.formatters) total += formatter.earlier_layout;
    return total;
}

void rejected_by_reason(const input_facts& input, const part_visit& visit) {
    for (std::size_t row = 0; row < formatter_row_count; ++row)
        for (std::size_t reason = 0; reason < rejection_count; ++reason)
            if (const std::uint64_t count = input.counts.stream.formatters[row].rejected[reason]; count != 0)
                visit({{"formatter", formatter_row_name(row)},
                       {"reason", label_of(static_cast<rejection>(reason))}},
                      count);
}

void dropped_by_kind(const input_facts& input, const part_visit& visit) {
    for_each_drop_kind(input.counts, [&](const char* layer, const char* kind, std::uint64_t count) {
        visit({{"layer", layer}, {"kind", kind}}, count);
    });
}

void frames_by_lan(const input_facts& input, const part_visit& visit) {
    for (int lan = 0; lan < input.lans; ++lan) visit({{"lan", lan_name(lan)}}, input.lan_frames[lan]);
}

void carrying_by_lan(const input_facts& input, const part_visit& visit) {
    for (int lan = 0; lan < input.lans; ++lan) visit({{"lan", lan_name(lan)}}, input.lan_carries[lan]);
}

std::uint64_t lans_carrying(const input_facts& input) {
    std::uint64_t carrying = 0;
    for (int lan = 0; lan < input.lans; ++lan) carrying += input.lan_carries[lan];
    return carrying;
}

using input_row = fact_row<input_facts>;
using output_row = fact_row<output_facts>;
constexpr page_cell column = page_cell::column;
constexpr page_cell behind_colon = page_cell::behind_colon;
constexpr page_cell none = page_cell::none;

// clang-format off
constexpr input_row input_rows[] = {
    {"adapter",     "Adapter",     column,       [](const input_facts& f) -> fact_value { return f.adapter; }},
    {"source",      "Source",      column,       [](const input_facts& f) -> fact_value { return f.source; }},
    {"destination", "Destination", column,       [](const input_facts& f) -> fact_value { return f.destination; }},
    {"port",        nullptr,       behind_colon, [](const input_facts& f) -> fact_value { return std::int64_t{f.port}; }},
    {"format",      "Format",      column,       [](const input_facts& f) -> fact_value { return f.format; }},
    {"open",        "Open",        column,       [](const input_facts& f) -> fact_value { return f.open; },
     {"vorlane_input_open", "gauge", "1 while the capture input of the junction box is open, else 0."}},
    {"datagrams",   "Datagrams",   column,       [](const input_facts& f) -> fact_value { return f.counts.stream.datagrams; },
     {"vorlane_input_datagrams_total", "counter", "Datagrams of the junction box handed to the stream manager."}},
    {"received",    nullptr,       none,         [](const input_facts& f) -> fact_value { return f.counts.stream.lines; },
     {"vorlane_input_sentences_received_total", "counter",
      "Sentences of the junction box judged by the validator, accepted or rejected."}},
    {"accepted",    "Accepted",    column,       [](const input_facts& f) -> fact_value { return accepted_sentences(f.counts); },
     {"vorlane_input_sentences_accepted_total", "counter",
      "Sentences the validator accepted, by formatter; a formatter appears once it has one."},
     by_formatter<&formatter_tally::accepted>},
    {"rejected",    "Rejected",    column,       [](const input_facts& f) -> fact_value { return rejected_sentences(f.counts); },
     {"vorlane_input_sentences_rejected_total", "counter",
      "Sentences the validator rejected, by formatter and reason; a pair appears once it has one."},
     rejected_by_reason, "rejected_by"},
    {"dropped",     "Dropped",     column,       [](const input_facts& f) -> fact_value { return f.counts.dropped(); },
     {"vorlane_input_dropped_total", "counter",
      "Frames skipped by the capture, and datagrams or lines dropped by the stream manager outside the validator, "
      "by layer and kind."},
     dropped_by_kind, "drops"},
    {"earlier_layout", nullptr,    none,         [](const input_facts& f) -> fact_value { return earlier_layout_sentences(f); },
     {"vorlane_input_sentences_earlier_layout_total", "counter",
      "Sentences accepted in an earlier layout, which an earlier edition defined, by formatter; a formatter "
      "appears once it has one."},
     by_formatter<&formatter_tally::earlier_layout>, "earlier_layout_by"},
    {"lan_frames",  "LAN frames",  column,       [](const input_facts& f) -> fact_value { return f.lan_frames[lan_a] + f.lan_frames[lan_b]; },
     {"vorlane_input_lan_frames_total", "counter",
      "Frames of the junction box captured on each LAN since the input opened."},
     frames_by_lan, "lan_frames_by"},
    {"lans_carrying", "LANs carrying", column,   [](const input_facts& f) -> fact_value { return lans_carrying(f); },
     {"vorlane_input_lan_carrying", "gauge",
      "1 while the LAN brought a frame of the junction box within the last %d s, else 0.", lan_silence_seconds},
     carrying_by_lan, "lans_carrying_by"},
};

constexpr output_row output_rows[] = {
    {"address",         "Address",         column, [](const output_facts& f) -> fact_value { return f.address; }},
    {"port",            "Port",            column, [](const output_facts& f) -> fact_value { return std::int64_t{f.port}; }},
    {"listening",       "Listening",       column, [](const output_facts& f) -> fact_value { return f.listening; },
     {"vorlane_output_listening", "gauge", "1 while the output's TCP port is listening, else 0."}},
    {"clients",         "Clients",         column, [](const output_facts& f) -> fact_value { return std::int64_t{f.clients}; },
     {"vorlane_output_clients", "gauge", "Displays connected to the output."}},
    {"batches",         "Batches",         column, [](const output_facts& f) -> fact_value { return f.sent.batches; },
     {"vorlane_output_batches_total", "counter",
      "Batches of sentences written to the output's clients, one for every client written to."}},
    {"bytes",           "Bytes",           column, [](const output_facts& f) -> fact_value { return f.sent.bytes; },
     {"vorlane_output_sent_bytes_total", "counter", "Bytes written to the output's clients, all clients together."}},
    {"clients_dropped", "Clients dropped", column, [](const output_facts& f) -> fact_value { return f.clients_dropped; },
     {"vorlane_output_clients_dropped_total", "counter",
      "Clients the output closed on because they took nothing for %d s while data waited.",
      default_not_reading_limit_ms / 1000}},
    {"udp",             "UDP",             column, [](const output_facts& f) -> fact_value { return f.udp_destination; }},
    {"udp_datagrams",   "UDP datagrams",   column, [](const output_facts& f) -> fact_value { return f.udp.datagrams; },
     {"vorlane_output_udp_datagrams_total", "counter", "UDP datagrams the output sent."}},
    {"udp_bytes",       "UDP bytes",       column, [](const output_facts& f) -> fact_value { return f.udp.bytes; },
     {"vorlane_output_udp_sent_bytes_total", "counter", "UDP payload bytes the output sent."}},
    {"udp_failed",      "UDP failed",      column, [](const output_facts& f) -> fact_value { return f.udp.failed; },
     {"vorlane_output_udp_send_failures_total", "counter",
      "UDP datagrams of the output that the system did not take (no route, no buffer, adapter down)."}},
    {"served_sources",  "Served sources",  column, [](const output_facts& f) -> fact_value { return f.served_sources; }},
    {"source_switches", "Source switches", column, [](const output_facts& f) -> fact_value { return f.source_switches; },
     {"vorlane_output_source_switches_total", "counter",
      "Changes of the source the output serves for a formatter, under its source list."}},
};
// clang-format on

// --- Prometheus text format -------------------------------------------------------------------

// A label value: backslash, double quote and line feed are escaped.
std::string label_value(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

class exposition {
  public:
    void family(const metric_family& described) {
        std::string help = described.help;
        if (const std::size_t at = help.find("%d"); at != std::string::npos)
            help.replace(at, 2, std::to_string(described.help_number));
        current = described.name;
        text += std::string("# HELP ") + current + " " + help + "\n# TYPE " + current + " " + described.type +
                "\n";
    }
    // labels: name="value" pairs, values unescaped.
    void sample(std::span<const label> labels, std::uint64_t value) {
        text += current;
        if (!labels.empty()) {
            text += '{';
            bool first = true;
            for (const auto& [name, value_text] : labels) {
                if (!first) text += ',';
                first = false;
                text += std::string(name) + "=\"" + label_value(value_text) + '"';
            }
            text += '}';
        }
        text += ' ' + std::to_string(value) + '\n';
    }
    QByteArray bytes() const { return QByteArray::fromStdString(text); }

  private:
    std::string text;
    const char* current = "";
};

std::string number_of(std::size_t k) {
    return std::to_string(k + 1);
}

// A sample's value: a count as it is, a number as a count, a flag as 1 or 0.
std::uint64_t sample_value(const fact_value& value) {
    if (const auto* number = std::get_if<std::int64_t>(&value)) return static_cast<std::uint64_t>(*number);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    return std::get<std::uint64_t>(value);
}

// Each family of the rows, with a sample for each input or output labelled with its number.
template <typename Facts, std::size_t count, std::size_t row_count>
void add_families(exposition& out, const char* numbered, const std::array<Facts, count>& all,
                  const fact_row<Facts> (&rows)[row_count]) {
    for (const fact_row<Facts>& row : rows) {
        if (row.metric.name == nullptr) continue;
        out.family(row.metric);
        for (std::size_t k = 0; k < all.size(); ++k) {
            const std::string number = number_of(k);
            if (row.parts == nullptr) {
                const label labels[] = {{numbered, number}};
                out.sample(labels, sample_value(row.read(all[k])));
                continue;
            }
            row.parts(all[k], [&](std::initializer_list<label> part, std::uint64_t value) {
                std::vector<label> labels{{numbered, number}};
                labels.insert(labels.end(), part);
                out.sample(labels, value);
            });
        }
    }
}

}  // namespace

QByteArray metrics_text(const status_facts& facts, const QDateTime& started) {
    exposition out;
    out.family({"vorlane_start_time_seconds", "gauge",
                "When the gateway started, in seconds since 1970-01-01 UTC."});
    out.sample({}, static_cast<std::uint64_t>(started.toSecsSinceEpoch()));
    out.family({"vorlane_status", "gauge",
                "The gateway's status text as its status line shows it; 1 for the current text."});
    const label status[] = {{"status", facts.status}};
    out.sample(status, 1);
    add_families(out, "input", facts.inputs, input_rows);
    add_families(out, "output", facts.outputs, output_rows);
    return out.bytes();
}

// --- JSON -------------------------------------------------------------------------------------

namespace {

QString text_of(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

qint64 json_count(std::uint64_t count) {
    return static_cast<qint64>(count);
}

QJsonValue json_value(const fact_value& value) {
    if (const auto* text = std::get_if<std::string_view>(&value)) return text_of(*text);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag;
    if (const auto* number = std::get_if<std::int64_t>(&value)) return static_cast<qint64>(*number);
    return json_count(std::get<std::uint64_t>(value));
}

// One object per input or output: its number under `numbered`, then a member per row.
template <typename Facts, std::size_t row_count>
QJsonObject json_entry(const char* numbered, std::size_t k, const Facts& facts,
                       const fact_row<Facts> (&rows)[row_count]) {
    QJsonObject entry{{numbered, static_cast<int>(k) + 1}};
    for (const fact_row<Facts>& row : rows) {
        entry.insert(row.key, json_value(row.read(facts)));
        if (row.parts_key == nullptr) continue;
        QJsonArray parts;
        row.parts(facts, [&](std::initializer_list<label> labels, std::uint64_t count) {
            QJsonObject part{{"count", json_count(count)}};
            for (const auto& [name, text] : labels) part.insert(name, text_of(text));
            parts.append(part);
        });
        entry.insert(row.parts_key, parts);
    }
    return entry;
}

}  // namespace

QByteArray status_json(const status_facts& facts, const status_history& history, const QDateTime& started) {
    QJsonArray inputs;
    for (std::size_t k = 0; k < facts.inputs.size(); ++k) {
        QJsonObject entry = json_entry("input", k, facts.inputs[k], input_rows);
        QJsonArray per_minute;
        for (std::size_t m = 0; m < history.minutes(); ++m) {
            const status_history::minute& minute = history.at(static_cast<int>(k), m);
            per_minute.append(QJsonObject{{"accepted", json_count(minute.accepted)},
                                          {"dropped", json_count(minute.dropped)}});
        }
        entry.insert("last_hour", text_of(history.hour_line(static_cast<int>(k), facts.inputs[k].counts)));
        entry.insert("per_minute", per_minute);
        inputs.append(entry);
    }
    QJsonArray outputs;
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        outputs.append(json_entry("output", k, facts.outputs[k], output_rows));
    const QJsonObject status{
        {"status", text_of(facts.status)},
        {"started", started.toUTC().toString(Qt::ISODate)},
        {"inputs", inputs},
        {"outputs", outputs},
    };
    return QJsonDocument(status).toJson(QJsonDocument::Indented);
}

// --- HTML ---------------------------------------------------------------------------------------

namespace {

constexpr int page_refresh_seconds = 5;

std::string html(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string cell(std::string_view text) {
    return "<td>" + html(text) + "</td>";
}

std::string number_cell(const std::string& digits) {
    return "<td class=n>" + digits + "</td>";
}

std::string number_cell(std::uint64_t count) {
    return number_cell(std::to_string(count));
}

// Accepted (green) and dropped (red) sentences per minute, the oldest minute on the left and the
// one just closed at the right edge, scaled to the largest count.
std::string minute_chart(const status_history& history, int input) {
    constexpr int width = 600, height = 150, left = 50, top = 10, plot_height = 110;
    constexpr int step = (width - left - 10) / static_cast<int>(status_history::minutes_kept);
    std::uint64_t largest = 1;
    for (std::size_t m = 0; m < history.minutes(); ++m)
        largest = std::max({largest, history.at(input, m).accepted, history.at(input, m).dropped});
    const std::size_t empty_slots = status_history::minutes_kept - history.minutes();
    const auto line = [&](auto value) {
        std::string points;
        for (std::size_t m = 0; m < history.minutes(); ++m) {
            const auto x = left + static_cast<int>(empty_slots + m) * step;
            const auto y =
                top + plot_height - static_cast<int>(value(history.at(input, m)) * plot_height / largest);
            points += std::to_string(x) + "," + std::to_string(y) + " ";
        }
        return points;
    };
    std::string svg = "<svg class=chart viewBox=\"0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "\" role=img><title>Sentences per minute on input " +
                      std::to_string(input + 1) + ", last hour</title>";
    svg += "<rect x=" + std::to_string(left) + " y=" + std::to_string(top) +
           " width=" + std::to_string(step * static_cast<int>(status_history::minutes_kept)) +
           " height=" + std::to_string(plot_height) + " fill=none stroke=#999 />";
    svg += "<text x=" + std::to_string(left - 4) + " y=" + std::to_string(top + 10) + " text-anchor=end>" +
           std::to_string(largest) + "</text>";
    svg += "<text x=" + std::to_string(left - 4) + " y=" + std::to_string(top + plot_height) +
           " text-anchor=end>0</text>";
    svg += "<text x=" + std::to_string(left) + " y=" + std::to_string(height - 8) + ">-60 min</text>";
    svg += "<text x=" + std::to_string(width - 10) + " y=" + std::to_string(height - 8) +
           " text-anchor=end>now</text>";
    if (history.minutes() == 0) {
        svg += "<text x=" + std::to_string(width / 2) + " y=" + std::to_string(top + plot_height / 2) +
               " text-anchor=middle>no whole minute yet</text>";
    } else {
        svg += "<polyline fill=none stroke=#2a7 stroke-width=2 points=\"" +
               line([](const status_history::minute& m) { return m.accepted; }) + "\"/>";
        svg += "<polyline fill=none stroke=#c33 stroke-width=2 points=\"" +
               line([](const status_history::minute& m) { return m.dropped; }) + "\"/>";
    }
    return svg + "</svg>";
}

}  // namespace

namespace {

// What a cell of the page shows for a fact.
std::string page_text(const fact_value& value) {
    if (const auto* text = std::get_if<std::string_view>(&value)) return std::string(*text);
    if (const auto* flag = std::get_if<bool>(&value)) return *flag ? "yes" : "no";
    if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
    return std::to_string(std::get<std::uint64_t>(value));
}

// A table of the inputs or the outputs: a row each, its number first, then a column per fact
// the page shows.
template <typename Facts, std::size_t count, std::size_t row_count>
std::string fact_table(const char* numbered, const std::array<Facts, count>& all,
                       const fact_row<Facts> (&rows)[row_count]) {
    std::string table = std::string("<table><tr><th>") + numbered + "</th>";
    for (const fact_row<Facts>& row : rows)
        if (row.cell == page_cell::column) table += std::string("<th>") + row.heading + "</th>";
    table += "</tr>";
    for (std::size_t k = 0; k < all.size(); ++k) {
        table += "<tr>" + number_cell(k + 1);
        // Each cell's text and whether it is a number.
        std::vector<std::pair<std::string, bool>> cells;
        for (const fact_row<Facts>& row : rows) {
            if (row.cell == page_cell::none) continue;
            const fact_value value = row.read(all[k]);
            if (row.cell == page_cell::behind_colon)
                cells.back() = {cells.back().first + ":" + page_text(value), false};
            else
                cells.emplace_back(page_text(value), !std::holds_alternative<std::string_view>(value) &&
                                                         !std::holds_alternative<bool>(value));
        }
        for (const auto& [text, number] : cells) table += number ? number_cell(text) : cell(text);
        table += "</tr>";
    }
    return table + "</table>";
}

}  // namespace

QByteArray status_page(const status_facts& facts, const status_history& history, const QDateTime& started) {
    std::string page =
        "<!DOCTYPE html><html lang=en><head><meta charset=utf-8><meta http-equiv=refresh content=" +
        std::to_string(page_refresh_seconds) +
        "><title>Vorlane status</title><style>"
        "body{font-family:sans-serif;margin:1em 2em;color:#222}"
        "table{border-collapse:collapse;margin-bottom:1em}"
        "td,th{border:1px solid #bbb;padding:2px 8px;text-align:left}"
        "td.n{text-align:right}"
        ".chart{width:600px;max-width:100%;font-size:11px}"
        ".accepted{color:#2a7}.dropped{color:#c33}"
        "</style></head><body><h1>Vorlane</h1>";
    page += "<p>Status: <strong id=status>" + html(facts.status) + "</strong></p>";
    page += "<p>Running since " + html(started.toUTC().toString(Qt::ISODate).toStdString()) + "</p>";

    page += "<h2>Inputs</h2>" + fact_table("Input", facts.inputs, input_rows);
    page += "<h2>Outputs</h2>" + fact_table("Output", facts.outputs, output_rows);

    page += "<h2>Dropped since start</h2><table><tr><th>Layer</th><th>Kind</th>";
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        page += "<th>Input " + std::to_string(k + 1) + "</th>";
    page += "</tr>";
    std::vector<std::string> rows;
    for (std::size_t k = 0; k < facts.inputs.size(); ++k) {
        std::size_t row = 0;
        for_each_drop_kind(facts.inputs[k].counts,
                           [&](const char* layer, const char* kind, std::uint64_t count) {
                               if (k == 0) rows.push_back("<tr>" + cell(layer) + cell(kind));
                               rows[row++] += number_cell(count);
                           });
    }
    for (const std::string& row : rows) page += row + "</tr>";
    page += "</table>";

    page +=
        "<h2>Sentences per minute, last hour</h2><p><span class=accepted>&#9632; accepted</span> "
        "<span class=dropped>&#9632; dropped</span></p>";
    for (std::size_t k = 0; k < facts.inputs.size(); ++k) {
        const int input = static_cast<int>(k);
        page += "<h3>Input " + std::to_string(k + 1) + "</h3>" + minute_chart(history, input) + "<p>" +
                html(history.hour_line(input, facts.inputs[k].counts)) + "</p>";
    }
    page += "</body></html>\n";
    return QByteArray::fromStdString(page);
}

}  // namespace vorlane
