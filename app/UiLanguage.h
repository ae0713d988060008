#pragma once
#include <QString>
#include <QStringList>
#include <QTranslator>

namespace quillon {

// The languages the window may speak, most wanted first: QUILLON_LANG, then
// the colon-separated LANGUAGE list, then the locale's own (LC_ALL,
// LC_MESSAGES, LANG). Entries come as "de", "de_DE", "de-DE" or
// "de_DE.UTF-8@euro"; they are given as "de_DE". "C" and "POSIX" stand for
// English.
QStringList preferredUiLanguages();

// Installs, for as long as it lives, the program's catalogue and Qt's own
// (qtbase, from Qt's translations folder) for the first of `languages` that
// the program has a catalogue for; languages without one are passed over.
// English, the program's own language, ends the search with nothing
// installed. Dates and numbers keep following the locale. Main thread only.
class UiLanguage {
public:
    explicit UiLanguage(const QStringList &languages = preferredUiLanguages());
    ~UiLanguage();
    UiLanguage(const UiLanguage &) = delete;
    UiLanguage &operator=(const UiLanguage &) = delete;

    // "de" when German was installed, "en" when nothing was.
    QString language() const { return m_language; }
    // Whether Qt's own catalogue for that language was found and installed.
    bool hasQtCatalogue() const { return m_qtInstalled; }

    // Where the program's catalogues are compiled in.
    static QString catalogueFolder();

private:
    QTranslator m_app;
    QTranslator m_qt;
    QString m_language = QStringLiteral("en");
    bool m_appInstalled = false;
    bool m_qtInstalled = false;
};

} // namespace quillon
