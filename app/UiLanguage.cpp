#include "app/UiLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace quillon {
namespace {

// "de_DE.UTF-8@euro" and "de-DE" both give "de_DE".
QString normalised(QString entry)
{
    entry = entry.trimmed();
    for (QChar cut : {QLatin1Char('.'), QLatin1Char('@')}) {
        const qsizetype at = entry.indexOf(cut);
        if (at >= 0)
            entry.truncate(at);
    }
    entry.replace(QLatin1Char('-'), QLatin1Char('_'));
    if (entry == QLatin1String("C") || entry == QLatin1String("POSIX"))
        return QStringLiteral("en");
    return entry;
}

void appendEntries(QStringList *list, const QString &value, QChar separator)
{
    for (const QString &entry : value.split(separator, Qt::SkipEmptyParts)) {
        const QString name = normalised(entry);
        if (!name.isEmpty() && !list->contains(name))
            list->append(name);
    }
}

bool isEnglish(const QString &language)
{
    return language == QLatin1String("en") || language.startsWith(QLatin1String("en_"));
}

} // namespace

QStringList preferredUiLanguages()
{
    QStringList languages;
    appendEntries(&languages, qEnvironmentVariable("QUILLON_LANG"), QLatin1Char(':'));
    appendEntries(&languages, qEnvironmentVariable("LANGUAGE"), QLatin1Char(':'));
    // The locale of messages, as the C library picks it.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(name);
        if (!value.isEmpty()) {
            appendEntries(&languages, value, QLatin1Char(':'));
            break;
        }
    }
    return languages;
}

QString UiLanguage::catalogueFolder() { return QStringLiteral(":/i18n"); }

UiLanguage::UiLanguage(const QStringList &languages)
{
    for (const QString &language : languages) {
        if (isEnglish(language))
            return;
        // load() also tries the shorter names: "de_AT" finds quillon_de.qm.
        if (!m_app.load(QStringLiteral("quillon_") + language, catalogueFolder()))
            continue;
        m_appInstalled = QCoreApplication::installTranslator(&m_app);
        m_language = m_app.language().section(QLatin1Char('_'), 0, 0);
        // Qt's dialogs and standard buttons; without the catalogue they stay English.
        if (m_qt.load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            m_qtInstalled = QCoreApplication::installTranslator(&m_qt);
        return;
    }
}

UiLanguage::~UiLanguage()
{
    if (m_qtInstalled)
        QCoreApplication::removeTranslator(&m_qt);
    if (m_appInstalled)
        QCoreApplication::removeTranslator(&m_app);
}

} // namespace quillon
