#pragma once
#include <QString>
#include <QStringList>

namespace quillon {

// The files that name this machine: the systemd machine id, then D-Bus's copy.
QStringList machineIdentifierFiles();

// The machine's identifier: the first non-empty first line among the files (at most
// 128 characters), or the empty text when none can be read.
QString CopySerialNumber(const QStringList &files = machineIdentifierFiles());

} // namespace quillon
