#pragma once
#include "usage/FeatureUsages.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QTimeZone>

namespace quillon {

// What the usage file ("Usages.Log") holds. A plain value.
struct UsageRecord
{
    QString productName;
    QString version;
    QDateTime buildDate;
    QString hardwareUUID;
    bool isEnabled = false;
    QDateTime lastReportSentOn;
    QDateTime lastReviewAskDate;
    bool neverAskForReview = false;
    qint64 nextReviewTargetValue = 0;
    QList<FeatureUsages> features;

    bool operator==(const UsageRecord &) const = default;
};

enum class UsageDocument {
    Clean,        // well-formed, a usage file
    Repaired,     // malformed XML, read as far as it goes
    NotUsageFile, // well-formed, another root element (its usage elements are still read)
    NotXml,       // nothing could be read
};

// The usage file holds a few hundred bytes; anything larger is not ours.
constexpr qint64 kMaxUsageFileSize = 16 * 1024 * 1024;

// Reads a usage document. Each element present replaces the record's value
// (the last of repeated elements wins; dates that don't parse and booleans other
// than "true" change nothing, so a boolean read must start false); its features
// are appended. *problem says what
// was wrong when the answer is not Clean. Never throws for any input.
UsageDocument readUsageDocument(const QByteArray &data, const QTimeZone &zone, UsageRecord *record,
                                QString *problem = nullptr);

// The document for a record: declaration, comment, then the elements in their
// fixed order; dates in `zone`. Texts pass through xmlSafeText().
QByteArray writeUsageDocument(const UsageRecord &record, const QTimeZone &zone);

// The record to write when `mine` (this process's values, `base` being what it
// last read or wrote) meets `onDisk` (what another process may have written
// since): counts add this process's increments to the file's, every other value
// this process changed is taken from `mine`, the rest from the file.
UsageRecord mergeUsageRecords(const UsageRecord &onDisk, const UsageRecord &base, const UsageRecord &mine);

} // namespace quillon
