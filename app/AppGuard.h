#pragma once
#include "core/SystemLog.h"

#include <QString>

#include <exception>

namespace quillon {

// Runs a command; anything it throws is written to the system log as `line`
// ("Error in (name) : %1") and goes no further. True when nothing was thrown.
template <class F>
bool guarded(const char *line, F &&command)
{
    try {
        command();
        return true;
    } catch (const std::exception &e) {
        logError(QString::fromLatin1(line).arg(exceptionReason(&e)));
    } catch (...) {
        logError(QString::fromLatin1(line).arg(exceptionReason(nullptr)));
    }
    return false;
}

} // namespace quillon
