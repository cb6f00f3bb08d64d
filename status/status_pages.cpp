#include "status/status_pages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorlane {

namespace {

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
    void family(const char* name, const char* type, const char* help) {
        current = name;
        text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    // labels: name="value" pairs, values unescaped.
    void sample(std::initializer_list<std::pair<const char*, std::string_view>> labels, std::uint64_t value) {
        text += current;
        if (labels.size() != 0) {
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

}  // namespace

QByteArray metrics_text(const status_facts& facts, const QDateTime& started) {
    exposition out;
    out.family("vorlane_start_time_seconds", "gauge",
               "When the gateway started, in seconds since 1970-01-01 UTC.");
    out.sample({}, static_cast<std::uint64_t>(started.toSecsSinceEpoch()));
    out.family("vorlane_status", "gauge",
               "The gateway's status text as its status line shows it; 1 for the current text.");
    out.sample({{"status", facts.status}}, 1);

    out.family("vorlane_input_open", "gauge",
               "1 while the capture input of the junction box is open, else 0.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        out.sample({{"input", number_of(k)}}, facts.inputs[k].open);
    out.family("vorlane_input_datagrams_total", "counter",
               "Datagrams of the junction box handed to the stream manager.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        out.sample({{"input", number_of(k)}}, facts.inputs[k].counts.stream.datagrams);
    out.family("vorlane_input_sentences_received_total", "counter",
               "Sentences of the junction box judged by the validator, accepted or rejected.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        out.sample({{"input", number_of(k)}}, facts.inputs[k].counts.stream.lines);
    out.family("vorlane_input_sentences_accepted_total", "counter",
               "Sentences the validator accepted, by formatter; a formatter appears once it has one.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        for (std::size_t row = 0; row < formatter_row_count; ++row)
            if (const std::uint64_t count = facts.inputs[k].counts.stream.formatters[row].accepted;
                count != 0)
                out.sample({{"input", number_of(k)}, {"formatter", formatter_row_name(row)}}, count);
    out.family("vorlane_input_sentences_rejected_total", "counter",
               "Sentences the validator rejected, by formatter and reason; a pair appears once it has one.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        for (std::size_t row = 0; row < formatter_row_count; ++row)
            for (std::size_t reason = 0; reason < rejection_count; ++reason)
                if (const std::uint64_t count =
                        facts.inputs[k].counts.stream.formatters[row].rejected[reason];
                    count != 0)
                    out.sample({{"input", number_of(k)},
                                {"formatter", formatter_row_name(row)},
                                {"reason", label_of(static_cast<rejection>(reason))}},
                               count);
    out.family("vorlane_input_dropped_total", "counter",
               "Frames skipped by the capture, and datagrams or lines dropped by the stream manager outside "
               "the validator, by layer and kind.");
    for (std::size_t k = 0; k < facts.inputs.size(); ++k)
        for_each_drop_kind(facts.inputs[k].counts,
                           [&](const char* layer, const char* kind, std::uint64_t count) {
                               out.sample({{"input", number_of(k)}, {"layer", layer}, {"kind", kind}}, count);
                           });

    out.family("vorlane_output_listening", "gauge", "1 while the output's TCP port is listening, else 0.");
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        out.sample({{"output", number_of(k)}}, facts.outputs[k].listening);
    out.family("vorlane_output_clients", "gauge", "Displays connected to the output.");
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        out.sample({{"output", number_of(k)}}, static_cast<std::uint64_t>(facts.outputs[k].clients));
    out.family("vorlane_output_batches_total", "counter",
               "Batches of sentences written to the output's clients, one for every client written to.");
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        out.sample({{"output", number_of(k)}}, facts.outputs[k].sent.batches);
    out.family("vorlane_output_sent_bytes_total", "counter",
               "Bytes written to the output's clients, all clients together.");
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        out.sample({{"output", number_of(k)}}, facts.outputs[k].sent.bytes);
    out.family("vorlane_output_clients_dropped_total", "counter",
               "Clients the output closed on because they took nothing for 20 s while data waited.");
    for (std::size_t k = 0; k < facts.outputs.size(); ++k)
        out.sample({{"output", number_of(k)}}, facts.outputs[k].clients_dropped);
    return out.bytes();
}

// --- JSON -------------------------------------------------------------------------------------

namespace {

QString text_of(const std::string& text) {
    return QString::fromStdString(text);
}

qint64 json_count(std::uint64_t count) {
    return static_cast<qint64>(count);
}

}  // namespace

QByteArray status_json(const status_facts& facts, const status_history& history, const QDateTime& started) {
    QJsonArray inputs;
    for (std::size_t k = 0; k < facts.inputs.size(); ++k) {
        const input_facts& input = facts.inputs[k];
        const input_drops& counts = input.counts;
        QJsonArray drops;
        for_each_drop_kind(counts, [&](const char* layer, const char* kind, std::uint64_t count) {
            drops.append(QJsonObject{{"layer", layer}, {"kind", kind}, {"count", json_count(count)}});
        });
        QJsonArray rejected_by;
        for (std::size_t row = 0; row < formatter_row_count; ++row)
            for (std::size_t reason = 0; reason < rejection_count; ++reason)
                if (const std::uint64_t count = counts.stream.formatters[row].rejected[reason]; count != 0)
                    rejected_by.append(QJsonObject{{"formatter", formatter_row_name(row)},
                                                   {"reason", label_of(static_cast<rejection>(reason))},
                                                   {"count", json_count(count)}});
        QJsonArray per_minute;
        for (std::size_t m = 0; m < history.minutes(); ++m) {
            const status_history::minute& minute = history.at(static_cast<int>(k), m);
            per_minute.append(QJsonObject{{"accepted", json_count(minute.accepted)},
                                          {"dropped", json_count(minute.dropped)}});
        }
        inputs.append(QJsonObject{
            {"input", static_cast<int>(k) + 1},
            {"adapter", text_of(input.adapter)},
            {"source", text_of(input.source)},
            {"destination", text_of(input.destination)},
            {"port", input.port},
            {"format", text_of(input.format)},
            {"open", input.open},
            {"datagrams", json_count(counts.stream.datagrams)},
            {"received", json_count(counts.stream.lines)},
            {"accepted", json_count(accepted_sentences(counts))},
            {"rejected", json_count(rejected_sentences(counts))},
            {"dropped", json_count(counts.dropped())},
            {"drops", drops},
            {"rejected_by", rejected_by},
            {"last_hour", text_of(history.hour_line(static_cast<int>(k), counts))},
            {"per_minute", per_minute},
        });
    }
    QJsonArray outputs;
    for (std::size_t k = 0; k < facts.outputs.size(); ++k) {
        const output_facts& output = facts.outputs[k];
        QJsonObject entry{
            {"output", static_cast<int>(k) + 1},
            {"address", text_of(output.address)},
            {"port", output.port},
            {"listening", output.listening},
            {"clients", output.clients},
            {"batches", json_count(output.sent.batches)},
            {"bytes", json_count(output.sent.bytes)},
            {"clients_dropped", json_count(output.clients_dropped)},
        };
        outputs.append(entry);
    }
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

std::string number_cell(std::uint64_t count) {
    return "<td class=n>" + std::to_string(count) + "</td>";
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

    page +=
        "<h2>Inputs</h2><table><tr><th>Input</th><th>Adapter</th><th>Source</th><th>Destination</th>"
        "<th>Format</th><th>Open</th><th>Datagrams</th><th>Accepted</th><th>Rejected</th>"
        "<th>Dropped</th></tr>";
    for (std::size_t k = 0; k < facts.inputs.size(); ++k) {
        const input_facts& input = facts.inputs[k];
        page += "<tr>" + number_cell(k + 1) + cell(input.adapter) + cell(input.source) +
                cell(input.destination + ":" + std::to_string(input.port)) + cell(input.format) +
                cell(input.open ? "yes" : "no") + number_cell(input.counts.stream.datagrams) +
                number_cell(accepted_sentences(input.counts)) +
                number_cell(rejected_sentences(input.counts)) + number_cell(input.counts.dropped()) + "</tr>";
    }
    page += "</table>";

    page +=
        "<h2>Outputs</h2><table><tr><th>Output</th><th>Address</th><th>Port</th><th>Listening</th>"
        "<th>Clients</th><th>Batches</th><th>Bytes</th><th>Clients dropped</th></tr>";
    for (std::size_t k = 0; k < facts.outputs.size(); ++k) {
        const output_facts& output = facts.outputs[k];
        page += "<tr>" + number_cell(k + 1) + cell(output.address) +
                number_cell(static_cast<std::uint64_t>(output.port)) + cell(output.listening ? "yes" : "no") +
                number_cell(static_cast<std::uint64_t>(output.clients)) + number_cell(output.sent.batches) +
                number_cell(output.sent.bytes) + number_cell(output.clients_dropped) + "</tr>";
    }
    page += "</table>";

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
