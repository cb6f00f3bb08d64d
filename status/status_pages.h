#pragma once

#include <QByteArray>
#include <QDateTime>

#include "status/status_facts.h"
#include "status/status_history.h"

namespace vorlane {

// The three answers of the status listener, each made from one copy of the facts.

// Prometheus' text exposition format, version 0.0.4.
QByteArray metrics_text(const status_facts& facts, const QDateTime& started);
// The same facts as one JSON object, with the per-minute counts and the hour's drop line.
QByteArray status_json(const status_facts& facts, const status_history& history, const QDateTime& started);
// One HTML page without external files or scripts that reloads itself every few seconds.
QByteArray status_page(const status_facts& facts, const status_history& history, const QDateTime& started);

}  // namespace vorlane
