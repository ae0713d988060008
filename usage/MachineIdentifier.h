#pragma once
#include <QString>
#include <QStringList>

namespace quillon {

// The files that name this machine: the systemd machine id, then D-Bus's copy.
QStringList machineIdentifierFiles();

// The machine's identifier: the first non-empty first line among the files (at most
// 128 characters), or the empty text when none can be read.
QString CopySerialNumber(const QStringList &files = machineIdentifierFiles());

// What the usage file and its report carry instead of the machine id, which must
// not leave the machine (machine-id(5)): HMAC-SHA256 of CopySerialNumber(files)
// under a fixed key of this product, as 64 hex digits. Stable per machine; the
// empty text when there is no id.
QString hashedMachineIdentifier(const QStringList &files = machineIdentifierFiles());

} // namespace quillon
