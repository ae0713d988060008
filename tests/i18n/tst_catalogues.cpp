// Each catalogue holds every string of the windows, translated: lupdate scans
// the sources into a copy of the .ts (as `update_translations` does), and the
// copy is read. A new string without its translation fails here.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

struct Message {
    QString context;
    QString source;
    QString comment;
    bool unfinished = false;
    QStringList forms; // one, or the plural forms
};

// An element's text up to its end; <byte value="xd"/> stands for the byte
// (a "\r"), and the text of each <numerusform> goes to `forms`.
QString readText(QXmlStreamReader &xml, QStringList *forms = nullptr)
{
    QString text;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::Characters:
            text += xml.text();
            break;
        case QXmlStreamReader::StartElement:
            if (xml.name() == QLatin1String("byte"))
                text += QChar(xml.attributes().value(QLatin1String("value")).toString().toUInt(nullptr, 16));
            else if (forms && xml.name() == QLatin1String("numerusform"))
                *forms << readText(xml);
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() != QLatin1String("byte"))
                return text;
            break;
        default:
            break;
        }
    }
    return text;
}

QList<Message> readCatalogue(const QString &path, QString *language, QString *error)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return messages;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message m;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("TS")) {
            *language = xml.attributes().value(QLatin1String("language")).toString();
        } else if (name == QLatin1String("name")) {
            context = readText(xml);
        } else if (name == QLatin1String("message")) {
            m = Message{context, {}, {}, false, {}};
        } else if (name == QLatin1String("source")) {
            m.source = readText(xml);
        } else if (name == QLatin1String("comment")) {
            m.comment = readText(xml);
        } else if (name == QLatin1String("translation")) {
            m.unfinished = xml.attributes().value(QLatin1String("type")) == QLatin1String("unfinished");
            const QString text = readText(xml, &m.forms);
            if (m.forms.isEmpty())
                m.forms << text;
            messages << m;
        }
    }
    if (xml.hasError())
        *error = xml.errorString();
    return messages;
}

// The %1, %L2, %n a text is filled in with.
QSet<QString> placeholders(const QString &text)
{
    static const QRegularExpression marker(QStringLiteral("%L?(\\d+|n)"));
    QSet<QString> found;
    for (const auto &match : marker.globalMatch(text))
        found.insert(match.captured(0).remove(QLatin1Char('L')));
    return found;
}

// Mnemonic markers; "&&" is a plain ampersand.
int accelerators(const QString &text) { return int(QString(text).remove(QLatin1String("&&")).count(QLatin1Char('&'))); }

// German and English have two plural forms; languages not listed here are
// only held to non-empty forms.
int pluralForms(const QString &language)
{
    const QString base = language.section(QLatin1Char('_'), 0, 0);
    return base == QLatin1String("de") ? 2 : -1;
}

} // namespace

class TestCatalogues : public QObject {
    Q_OBJECT
private slots:
    void complete_data();
    void complete();
};

void TestCatalogues::complete_data()
{
    QTest::addColumn<QString>("catalogue");
    for (const QString &ts : QStringLiteral(QUILLON_TS_FILES).split(QLatin1Char('|'), Qt::SkipEmptyParts))
        QTest::newRow(qPrintable(QFileInfo(ts).fileName())) << ts;
}

void TestCatalogues::complete()
{
    QFETCH(QString, catalogue);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString copy = dir.filePath(QFileInfo(catalogue).fileName());
    QVERIFY(QFile::copy(catalogue, copy));
    QFile::setPermissions(copy, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    QProcess lupdate;
    lupdate.setWorkingDirectory(QStringLiteral(QUILLON_SOURCE_DIR));
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    QStringList args = QStringLiteral(QUILLON_LUPDATE_ARGS).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    args << QStringLiteral("-ts") << copy;
    lupdate.start(QStringLiteral(QUILLON_LUPDATE_PATH), args);
    QVERIFY2(lupdate.waitForFinished(300000), qPrintable(lupdate.errorString()));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0, lupdate.readAll().constData());

    QString language;
    QString error;
    const QList<Message> messages = readCatalogue(copy, &language, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!messages.isEmpty());
    QVERIFY(!language.isEmpty());

    // The texts a key letter may be taken from, by their English text.
    QHash<QString, QStringList> translated;
    for (const Message &m : messages)
        translated[m.source] << m.forms;

    QStringList problems;
    auto problem = [&](const Message &m, const QString &what) {
        problems << QStringLiteral("%1 \"%2\": %3").arg(m.context, m.source, what);
    };
    const bool plural = pluralForms(language) > 0;
    for (const Message &m : messages) {
        if (m.unfinished) {
            problem(m, QStringLiteral("unfinished"));
            continue;
        }
        const bool numerus = m.source.contains(QLatin1String("%n"));
        if (numerus && plural && m.forms.size() != pluralForms(language))
            problem(m, QStringLiteral("%1 plural forms").arg(m.forms.size()));
        for (const QString &form : m.forms) {
            if (form.isEmpty())
                problem(m, QStringLiteral("empty translation"));
            else if (placeholders(form) != placeholders(m.source))
                problem(m, QStringLiteral("placeholders differ in \"%1\"").arg(form));
            else if (accelerators(form) != accelerators(m.source))
                problem(m, QStringLiteral("accelerators differ in \"%1\"").arg(form));
        }
        // A key letter must be a letter of its button's translated text.
        if (m.comment.startsWith(QLatin1String("key letter of "))) {
            const QString button = m.comment.mid(14).section(QLatin1String(" ("), 0, 0);
            const QString letter = m.forms.value(0);
            const QStringList texts = translated.value(button);
            const bool inText = std::any_of(texts.begin(), texts.end(), [&](const QString &t) { return t.contains(letter, Qt::CaseInsensitive); });
            if (letter.size() != 1 || texts.isEmpty() || !inText)
                problem(m, QStringLiteral("key letter \"%1\" is not in the text of \"%2\"").arg(letter, button));
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_GUILESS_MAIN(TestCatalogues)
#include "tst_catalogues.moc"
