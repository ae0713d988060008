#pragma once
// Just enough of a PDF reader to check the PDFs this program writes with Qt:
// the file's frame, its page count and its text, in page order. Text is
// recovered through each font's ToUnicode map, so it is what a viewer would
// copy out of the page. Streams are inflated with qUncompress.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QString>
#include <QtEndian>

namespace pdftest {

struct PdfContent {
    bool framed = false; // "%PDF-1.x" header and a final "%%EOF"
    int pageCount = 0;   // page objects reachable from the page tree
    int declaredPages = -1; // the root page tree's /Count
    QString text;        // one line per text object, pages in order
    QString error;

    // The text with every run of white space turned into one blank, so phrases
    // match across the line breaks of the layout.
    QString flatText() const { return text.simplified(); }
};

namespace detail {

struct Object {
    QByteArray dict;   // everything before "stream" (or the whole body)
    QByteArray stream; // inflated when it was compressed
};

inline QByteArray inflate(const QByteArray &raw)
{
    // qUncompress wants a 4-byte big-endian size hint; it grows the buffer
    // itself when the hint is too small.
    QByteArray framed(4, '\0');
    qToBigEndian<quint32>(quint32(qMin<qsizetype>(raw.size() * 8 + 1024, 64 * 1024 * 1024)), framed.data());
    framed += raw;
    return qUncompress(framed);
}

inline QHash<int, Object> objects(const QByteArray &pdf, QString *error)
{
    QHash<int, QByteArray> bodies;
    static const QRegularExpression head(QStringLiteral("(?:^|[\\r\\n])(\\d+) 0 obj\\b"));
    const QString latin = QString::fromLatin1(pdf);
    auto it = head.globalMatch(latin);
    while (it.hasNext()) {
        const auto m = it.next();
        const qsizetype start = m.capturedEnd();
        const qsizetype end = pdf.indexOf("endobj", start);
        if (end < 0)
            break;
        bodies.insert(m.captured(1).toInt(), pdf.mid(start, end - start));
    }
    QHash<int, Object> result;
    static const QRegularExpression directLength(QStringLiteral("/Length (\\d+)(?! \\d+ R)"));
    static const QRegularExpression indirectLength(QStringLiteral("/Length (\\d+) 0 R"));
    for (auto b = bodies.cbegin(); b != bodies.cend(); ++b) {
        Object o;
        const QByteArray &body = b.value();
        const qsizetype s = body.indexOf("stream");
        if (s < 0) {
            o.dict = body;
            result.insert(b.key(), o);
            continue;
        }
        o.dict = body.left(s);
        qsizetype dataStart = s + 6;
        if (body.mid(dataStart, 2) == "\r\n")
            dataStart += 2;
        else if (body.at(dataStart) == '\n')
            dataStart += 1;
        const QString dict = QString::fromLatin1(o.dict);
        qsizetype length = -1;
        if (const auto m = indirectLength.match(dict); m.hasMatch())
            length = bodies.value(m.captured(1).toInt()).trimmed().toLongLong();
        else if (const auto d = directLength.match(dict); d.hasMatch())
            length = d.captured(1).toLongLong();
        if (length < 0 || dataStart + length > body.size()) {
            if (error)
                *error = QStringLiteral("object %1: bad stream length").arg(b.key());
            return {};
        }
        o.stream = body.mid(dataStart, length);
        if (o.dict.contains("/FlateDecode")) {
            o.stream = inflate(o.stream);
            if (o.stream.isEmpty() && length > 0) {
                if (error)
                    *error = QStringLiteral("object %1: stream does not inflate").arg(b.key());
                return {};
            }
        }
        result.insert(b.key(), o);
    }
    return result;
}

inline QList<uint> hexCodes(QByteArrayView hex, int digits)
{
    QList<uint> codes;
    for (qsizetype i = 0; i + digits <= hex.size(); i += digits)
        codes.append(hex.sliced(i, digits).toByteArray().toUInt(nullptr, 16));
    return codes;
}

// ToUnicode CMap: glyph code -> text.
inline QHash<uint, QString> parseCMap(const QByteArray &cmap)
{
    QHash<uint, QString> map;
    auto toText = [](QByteArrayView hex) {
        QString s;
        for (uint u : hexCodes(hex, 4))
            s += QChar(char16_t(u));
        return s;
    };
    const QString text = QString::fromLatin1(cmap);
    static const QRegularExpression charSection(QStringLiteral("beginbfchar(.*?)endbfchar"),
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression charPair(QStringLiteral("<([0-9A-Fa-f]+)>\\s*<([0-9A-Fa-f]+)>"));
    for (auto s = charSection.globalMatch(text); s.hasNext();) {
        const QString section = s.next().captured(1);
        for (auto p = charPair.globalMatch(section); p.hasNext();) {
            const auto m = p.next();
            map.insert(m.captured(1).toUInt(nullptr, 16), toText(m.captured(2).toLatin1()));
        }
    }
    static const QRegularExpression rangeSection(QStringLiteral("beginbfrange(.*?)endbfrange"),
                                                 QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression range(
        QStringLiteral("<([0-9A-Fa-f]+)>\\s*<([0-9A-Fa-f]+)>\\s*(?:<([0-9A-Fa-f]+)>|\\[([^\\]]*)\\])"));
    static const QRegularExpression item(QStringLiteral("<([0-9A-Fa-f]+)>"));
    for (auto s = rangeSection.globalMatch(text); s.hasNext();) {
        const QString section = s.next().captured(1);
        for (auto r = range.globalMatch(section); r.hasNext();) {
            const auto m = r.next();
            const uint lo = m.captured(1).toUInt(nullptr, 16);
            const uint hi = m.captured(2).toUInt(nullptr, 16);
            if (hi < lo || hi - lo > 0xffff)
                continue;
            if (!m.captured(3).isEmpty()) {
                const uint first = m.captured(3).toUInt(nullptr, 16);
                for (uint c = lo; c <= hi; ++c)
                    map.insert(c, QString(QChar(char16_t(first + (c - lo)))));
            } else {
                uint c = lo;
                for (auto i = item.globalMatch(m.captured(4)); i.hasNext() && c <= hi; ++c)
                    map.insert(c, toText(i.next().captured(1).toLatin1()));
            }
        }
    }
    return map;
}

inline QList<int> references(const QByteArray &text)
{
    QList<int> refs;
    static const QRegularExpression ref(QStringLiteral("(\\d+) 0 R"));
    for (auto it = ref.globalMatch(QString::fromLatin1(text)); it.hasNext();)
        refs.append(it.next().captured(1).toInt());
    return refs;
}

inline QByteArray dictEntry(const QByteArray &dict, const char *key)
{
    // The value of one key: up to the matching ">>" for a dictionary, "]" for
    // an array, else the next token (or indirect reference).
    const qsizetype k = dict.indexOf(key);
    if (k < 0)
        return {};
    qsizetype i = k + qstrlen(key);
    while (i < dict.size() && (dict.at(i) == ' ' || dict.at(i) == '\n' || dict.at(i) == '\r'))
        ++i;
    if (dict.mid(i, 2) == "<<") {
        int depth = 0;
        for (qsizetype j = i; j + 1 < dict.size(); ++j) {
            if (dict.mid(j, 2) == "<<") {
                ++depth;
                ++j;
            } else if (dict.mid(j, 2) == ">>") {
                if (--depth == 0)
                    return dict.mid(i, j + 2 - i);
                ++j;
            }
        }
        return {};
    }
    if (dict.at(i) == '[') {
        const qsizetype e = dict.indexOf(']', i);
        return e < 0 ? QByteArray() : dict.mid(i, e + 1 - i);
    }
    static const QRegularExpression token(QStringLiteral("^(\\d+ 0 R|[^\\s/<>\\[\\]]+|/\\w+)"));
    const auto m = token.match(QString::fromLatin1(dict.mid(i, 64)));
    return m.hasMatch() ? m.captured(1).toLatin1() : QByteArray();
}

inline QByteArray resolve(const QHash<int, Object> &objs, const QByteArray &value)
{
    const QList<int> refs = references(value);
    if (value.endsWith(" 0 R") && refs.size() == 1)
        return objs.value(refs.first()).dict;
    return value;
}

} // namespace detail

inline PdfContent readPdf(const QByteArray &pdf)
{
    using namespace detail;
    PdfContent out;
    out.framed = pdf.startsWith("%PDF-1.") && pdf.trimmed().endsWith("%%EOF");
    const QHash<int, Object> objs = objects(pdf, &out.error);
    if (objs.isEmpty()) {
        if (out.error.isEmpty())
            out.error = QStringLiteral("no objects");
        return out;
    }

    // The page tree from the catalogue down, in document order.
    int catalog = -1;
    for (auto it = objs.cbegin(); it != objs.cend(); ++it)
        if (it.value().dict.contains("/Type /Catalog"))
            catalog = it.key();
    const QList<int> rootRef = references(dictEntry(objs.value(catalog).dict, "/Pages"));
    if (rootRef.isEmpty()) {
        out.error = QStringLiteral("no page tree");
        return out;
    }
    out.declaredPages = dictEntry(objs.value(rootRef.first()).dict, "/Count").toInt();
    QList<int> pages;
    QList<int> pending{rootRef.first()};
    while (!pending.isEmpty()) {
        const int n = pending.takeFirst();
        const QByteArray &dict = objs.value(n).dict;
        if (dict.contains("/Type /Pages")) {
            const QList<int> kids = references(dictEntry(dict, "/Kids"));
            for (qsizetype i = kids.size() - 1; i >= 0; --i)
                pending.prepend(kids.at(i));
        } else if (dict.contains("/Type /Page")) {
            pages.append(n);
        }
    }
    out.pageCount = int(pages.size());

    QHash<int, QHash<uint, QString>> cmaps; // font object -> its ToUnicode map
    static const QRegularExpression fontEntry(QStringLiteral("/([\\w.+-]+)\\s+(\\d+) 0 R"));
    static const QRegularExpression op(
        QStringLiteral("/([\\w.+-]+)\\s+[-\\d.]+\\s+Tf|<([0-9A-Fa-f]*)>\\s*Tj|\\[([^\\]]*)\\]\\s*TJ|\\bET\\b"));
    static const QRegularExpression hexString(QStringLiteral("<([0-9A-Fa-f]*)>"));
    QStringList lines;
    for (const int page : pages) {
        const QByteArray &dict = objs.value(page).dict;
        const QByteArray resources = resolve(objs, dictEntry(dict, "/Resources"));
        const QByteArray fontDict = resolve(objs, dictEntry(resources, "/Font"));
        QHash<QString, int> fonts;
        for (auto f = fontEntry.globalMatch(QString::fromLatin1(fontDict)); f.hasNext();) {
            const auto m = f.next();
            const int fontObj = m.captured(2).toInt();
            fonts.insert(m.captured(1), fontObj);
            if (!cmaps.contains(fontObj)) {
                const QList<int> tu = references(dictEntry(objs.value(fontObj).dict, "/ToUnicode"));
                cmaps.insert(fontObj, tu.isEmpty() ? QHash<uint, QString>() : parseCMap(objs.value(tu.first()).stream));
            }
        }
        QByteArray content;
        for (const int c : references(dictEntry(dict, "/Contents")))
            content += objs.value(c).stream + '\n';
        const QHash<uint, QString> *cmap = nullptr;
        QString line;
        auto show = [&](const QString &hex) {
            if (!cmap)
                return;
            for (uint code : hexCodes(hex.toLatin1(), 4))
                line += cmap->value(code);
        };
        for (auto it = op.globalMatch(QString::fromLatin1(content)); it.hasNext();) {
            const auto m = it.next();
            if (!m.captured(1).isEmpty()) {
                const auto f = fonts.constFind(m.captured(1));
                cmap = f == fonts.cend() ? nullptr : &cmaps[f.value()];
            } else if (m.capturedLength(2) > 0 || m.captured(0).endsWith(QLatin1String("Tj"))) {
                show(m.captured(2));
            } else if (!m.captured(3).isEmpty()) {
                for (auto h = hexString.globalMatch(m.captured(3)); h.hasNext();)
                    show(h.next().captured(1));
            } else { // ET
                if (!line.isEmpty())
                    lines.append(line);
                line.clear();
            }
        }
    }
    // Shaping turns "fi" and the like into ligature glyphs; compatibility
    // normalisation splits them again, as a viewer's copy does.
    out.text = lines.join(QLatin1Char('\n')).normalized(QString::NormalizationForm_KC);
    return out;
}

} // namespace pdftest
