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

// Makes sure an application object exists, as in the programs: Qt's image
// plug-ins need one; gui: a QGuiApplication (offscreen), as the windows have,
// where stored values may hold pixmaps.
void ensureApplication(bool gui = false);

} // namespace quillon::fuzz
