#include "usage/FeatureUsages.h"

namespace quillon {

FeatureUsages FeatureUsages::initWithName(const QString &name, std::optional<qint32> usagesCount,
                                          std::optional<qint32> filesCount)
{
    FeatureUsages usages;
    usages.m_name = name.isNull() ? QStringLiteral("") : name;
    usages.m_usagesCount = usagesCount.value_or(0);
    usages.m_filesCount = filesCount.value_or(0);
    return usages;
}

QString FeatureUsages::description() const
{
    return QStringLiteral("name : %1 usagesCount:%2 filesCount:%3").arg(m_name).arg(m_usagesCount).arg(m_filesCount);
}

} // namespace quillon
