// The usage-file loader, and what the store writes back from what it loaded:
// that must read cleanly and come out the same when written again.
#include "usage/UsageFile.h"

#include <cstdlib>

using namespace quillon;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QTimeZone zone = QTimeZone::utc();
    UsageRecord record;
    QString problem;
    readUsageDocument(bytes, zone, &record, &problem);

    const QByteArray written = writeUsageDocument(record, zone);
    UsageRecord back;
    if (readUsageDocument(written, zone, &back, &problem) != UsageDocument::Clean)
        abort();
    if (writeUsageDocument(back, zone) != written)
        abort();

    // Another process's copy meeting this one never fails to give a record that writes.
    const UsageRecord merged = mergeUsageRecords(back, UsageRecord(), record);
    UsageRecord again;
    if (readUsageDocument(writeUsageDocument(merged, zone), zone, &again) != UsageDocument::Clean)
        abort();
    return 0;
}
