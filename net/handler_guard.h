#pragma once

#include <QString>
#include <exception>
#include <optional>

#include "base/exception_name.h"

namespace vorlane {

// Runs the emission of a notification whose handlers are the socket's users' code. An exception
// from a handler must not unwind into the event loop (Qt is not built for that), so it is caught
// here and turned into the text of a background error: "<exception class>: <message>".
template <class Emit>
std::optional<QString> run_handlers(Emit&& emit_notification) noexcept {
    try {
        emit_notification();
        return std::nullopt;
    } catch (const std::exception& e) {
        return QString::fromStdString(exception_name(e)) + QStringLiteral(": ") + QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

}  // namespace vorlane
