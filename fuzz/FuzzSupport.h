#pragma once
// Shared by the libFuzzer targets: the inputs as files without touching a disk.
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace quillon::fuzz {

// An anonymous in-memory file holding the bytes, named by its /proc path.
class MemoryFile {
public:
    MemoryFile(const uint8_t *data, size_t size);
    ~MemoryFile();
    MemoryFile(const MemoryFile &) = delete;
    MemoryFile &operator=(const MemoryFile &) = delete;
    QString path() const { return m_path; }

private:
    int m_fd = -1;
    QString m_path;
};

// Makes sure a QCoreApplication exists (Qt's image plug-ins and settings need one).
void ensureApplication();

} // namespace quillon::fuzz
