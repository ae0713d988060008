#include "fuzz/FuzzSupport.h"

#include <QGuiApplication>

#include <sys/mman.h>
#include <unistd.h>

namespace quillon::fuzz {

MemoryFile::MemoryFile(const uint8_t *data, size_t size)
{
    m_fd = ::memfd_create("fuzz-input", MFD_CLOEXEC);
    if (m_fd < 0)
        abort();
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n <= 0)
            abort();
        done += size_t(n);
    }
    m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

MemoryFile::~MemoryFile()
{
    ::close(m_fd);
}

void ensureApplication(bool gui)
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    if (gui) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        new QGuiApplication(argc, argv);
    } else {
        new QCoreApplication(argc, argv);
    }
}

} // namespace quillon::fuzz
