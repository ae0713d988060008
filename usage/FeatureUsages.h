#pragma once
#include <QString>

#include <optional>

namespace quillon {

// The counters of one feature (one conversion mode): how often it was used and
// how many files went through it. A plain value; the store keeps a list of them.
class FeatureUsages
{
public:
    FeatureUsages() = default;

    // A new entry; a missing count becomes 0.
    static FeatureUsages initWithName(const QString &name, std::optional<qint32> usagesCount,
                                      std::optional<qint32> filesCount);

    QString name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }
    qint32 usagesCount() const { return m_usagesCount; }
    void setUsagesCount(qint32 count) { m_usagesCount = count; }
    qint32 filesCount() const { return m_filesCount; }
    void setFilesCount(qint32 count) { m_filesCount = count; }

    // "name : <name> usagesCount:<n> filesCount:<n>"
    QString description() const;

    friend bool operator==(const FeatureUsages &, const FeatureUsages &) = default;

private:
    QString m_name = QStringLiteral("");
    qint32 m_usagesCount = 0;
    qint32 m_filesCount = 0;
};

} // namespace quillon
