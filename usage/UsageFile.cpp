#include "usage/UsageFile.h"

#include "core/XmlText.h"
#include "usage/StoredDate.h"

#include <libxml/parser.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <QHash>

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <optional>

namespace quillon {
namespace {

const char *const kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";
const char *const kXsdNamespace = "http://www.w3.org/2001/XMLSchema";

const xmlChar *xml(const char *text)
{
    return reinterpret_cast<const xmlChar *>(text);
}

struct DocFree
{
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
struct ParserFree
{
    void operator()(xmlParserCtxt *ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct XPathContextFree
{
    void operator()(xmlXPathContext *ctxt) const { xmlXPathFreeContext(ctxt); }
};
struct XPathObjectFree
{
    void operator()(xmlXPathObject *object) const { xmlXPathFreeObject(object); }
};
struct BufferFree
{
    void operator()(xmlBuffer *buffer) const { xmlBufferFree(buffer); }
};
using DocPtr = std::unique_ptr<xmlDoc, DocFree>;
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, XPathObjectFree>;

QByteArray xmlText(const QString &text)
{
    return xmlSafeText(text).toUtf8();
}

XPathObjectPtr evaluate(xmlXPathContext *context, xmlNode *node, const char *path)
{
    return XPathObjectPtr(xmlXPathNodeEval(node, xml(path), context));
}

// Text of the last node the path matches, if any matches.
std::optional<QString> lastText(xmlXPathContext *context, xmlNode *node, const char *path)
{
    const XPathObjectPtr result = evaluate(context, node, path);
    if (!result || !result->nodesetval || result->nodesetval->nodeNr <= 0)
        return std::nullopt;
    xmlNode *last = result->nodesetval->nodeTab[result->nodesetval->nodeNr - 1];
    xmlChar *content = xmlNodeGetContent(last);
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(content));
    xmlFree(content);
    return text;
}

qint32 clampToInt32(qint64 value)
{
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

// The n-th (0-based) entry named `name`, or -1.
qsizetype occurrence(const QList<FeatureUsages> &features, const QString &name, int n)
{
    for (qsizetype i = 0; i < features.size(); ++i) {
        if (features[i].name() == name && n-- == 0)
            return i;
    }
    return -1;
}

} // namespace

UsageDocument readUsageDocument(const QByteArray &data, const QTimeZone &zone, UsageRecord *record, QString *problem)
{
    if (data.size() > kMaxUsageFileSize) {
        if (problem)
            *problem = QStringLiteral("too large (%1 bytes)").arg(data.size());
        return UsageDocument::NotXml;
    }
    std::unique_ptr<xmlParserCtxt, ParserFree> parser(xmlNewParserCtxt());
    if (!parser)
        throw std::bad_alloc();
    // Recover repairs what it can; no network, no entity expansion, no noise on stderr.
    DocPtr doc(xmlCtxtReadMemory(parser.get(), data.constData(), int(data.size()), nullptr, nullptr,
                                 XML_PARSE_RECOVER | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    xmlNode *root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!doc || !root) {
        if (problem)
            *problem = QStringLiteral("not an XML document");
        return UsageDocument::NotXml;
    }
    UsageDocument outcome = UsageDocument::Clean;
    if (!parser->wellFormed) {
        const xmlError *error = xmlCtxtGetLastError(parser.get());
        if (problem)
            *problem = error && error->message
                ? QStringLiteral("line %1: %2").arg(error->line).arg(QString::fromUtf8(error->message).trimmed())
                : QStringLiteral("malformed XML");
        outcome = UsageDocument::Repaired;
    } else if (xmlStrcmp(root->name, xml("usagesreporting")) != 0) {
        if (problem)
            *problem = QStringLiteral("not a usage file");
        outcome = UsageDocument::NotUsageFile;
    }

    std::unique_ptr<xmlXPathContext, XPathContextFree> context(xmlXPathNewContext(doc.get()));
    if (!context)
        throw std::bad_alloc();
    xmlNode *top = reinterpret_cast<xmlNode *>(doc.get());
    UsageRecord &r = *record;

    if (auto text = lastText(context.get(), top, "usagesreporting/productname"))
        r.productName = *text;
    if (auto text = lastText(context.get(), top, "usagesreporting/productversion"))
        r.version = *text;
    // A date that can't be read keeps the value in memory rather than losing it.
    auto readDate = [&](const char *xpath, QDateTime &target) {
        if (auto text = lastText(context.get(), top, xpath)) {
            const QDateTime date = parseStoredDate(*text, zone);
            if (date.isValid())
                target = date;
        }
    };
    readDate("usagesreporting/builddate", r.buildDate);
    if (auto text = lastText(context.get(), top, "usagesreporting/hardwareUUID"))
        r.hardwareUUID = *text;
    if (auto text = lastText(context.get(), top, "usagesreporting/enabled"); text && *text == QLatin1String("true"))
        r.isEnabled = true;
    readDate("usagesreporting/lastreportsenton", r.lastReportSentOn);
    readDate("usagesreporting/lastReviewAskDate", r.lastReviewAskDate);
    if (auto text = lastText(context.get(), top, "usagesreporting/neverAskForReview");
        text && *text == QLatin1String("true"))
        r.neverAskForReview = true;
    if (auto text = lastText(context.get(), top, "usagesreporting/nextReviewTargetValue"))
        r.nextReviewTargetValue = leadingInteger(*text);

    const XPathObjectPtr entries = evaluate(context.get(), top, "usagesreporting/features/featureusages");
    if (entries && entries->nodesetval) {
        for (int i = 0; i < entries->nodesetval->nodeNr; ++i) {
            xmlNode *entry = entries->nodesetval->nodeTab[i];
            const QString name = lastText(context.get(), entry, "name").value_or(QStringLiteral(""));
            const qint64 usages = leadingInteger(lastText(context.get(), entry, "usagescount").value_or(QString()));
            const qint64 files = leadingInteger(lastText(context.get(), entry, "filescount").value_or(QString()));
            r.features.append(FeatureUsages::initWithName(name, clampToInt32(usages), clampToInt32(files)));
        }
    }
    return outcome;
}

QByteArray writeUsageDocument(const UsageRecord &r, const QTimeZone &zone)
{
    DocPtr doc(xmlNewDoc(xml("1.0")));
    if (!doc)
        throw std::bad_alloc();
    // "--" may not appear inside a comment, nor may one end in "-".
    QString comment = QStringLiteral("%1 %2 Usages Reporting File").arg(r.productName, r.version);
    while (comment.contains(QLatin1String("--")))
        comment.replace(QLatin1String("--"), QLatin1String("- -"));
    if (comment.endsWith(QLatin1Char('-')))
        comment.append(QLatin1Char(' '));
    xmlAddChild(reinterpret_cast<xmlNode *>(doc.get()), xmlNewDocComment(doc.get(), xml(xmlText(comment).constData())));

    xmlNode *root = xmlNewDocNode(doc.get(), nullptr, xml("usagesreporting"), nullptr);
    xmlDocSetRootElement(doc.get(), root);
    xmlNewNs(root, xml(kXsiNamespace), xml("xsi"));
    xmlNewNs(root, xml(kXsdNamespace), xml("xsd"));

    auto element = [](xmlNode *parent, const char *name, const QString &text) {
        // xmlNewTextChild escapes the text; a null text gives an empty element.
        const QByteArray bytes = xmlText(text);
        return xmlNewTextChild(parent, nullptr, xml(name), text.isNull() ? nullptr : xml(bytes.constData()));
    };
    auto date = [&zone](const QDateTime &value) { return formatStoredDate(value, zone); };
    auto boolean = [](bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); };

    element(root, "productname", r.productName);
    element(root, "productversion", r.version);
    element(root, "builddate", date(r.buildDate));
    element(root, "hardwareUUID", r.hardwareUUID);
    element(root, "enabled", boolean(r.isEnabled));
    element(root, "lastreportsenton", date(r.lastReportSentOn));
    element(root, "lastReviewAskDate", date(r.lastReviewAskDate));
    element(root, "neverAskForReview", boolean(r.neverAskForReview));
    element(root, "nextReviewTargetValue", QString::number(r.nextReviewTargetValue));
    xmlNode *features = xmlNewChild(root, nullptr, xml("features"), nullptr);
    for (const FeatureUsages &feature : r.features) {
        xmlNode *entry = xmlNewChild(features, nullptr, xml("featureusages"), nullptr);
        element(entry, "name", feature.name());
        element(entry, "usagescount", QString::number(feature.usagesCount()));
        element(entry, "filescount", QString::number(feature.filesCount()));
    }

    // Node by node, so nothing is added between the declaration, the comment and
    // the root; empty elements are written as a start and an end tag.
    std::unique_ptr<xmlBuffer, BufferFree> buffer(xmlBufferCreate());
    if (!buffer)
        throw std::bad_alloc();
    xmlSaveCtxt *writer = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_NO_EMPTY | XML_SAVE_AS_XML);
    if (!writer)
        throw std::bad_alloc();
    for (xmlNode *node = doc->children; node; node = node->next)
        xmlSaveTree(writer, node);
    xmlSaveClose(writer);

    QByteArray document = QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>");
    document.append(reinterpret_cast<const char *>(xmlBufferContent(buffer.get())), xmlBufferLength(buffer.get()));
    return document;
}

UsageRecord mergeUsageRecords(const UsageRecord &onDisk, const UsageRecord &base, const UsageRecord &mine)
{
    UsageRecord out = onDisk;
    auto take = [](auto &into, const auto &mineValue, const auto &baseValue) {
        if (mineValue != baseValue)
            into = mineValue;
    };
    take(out.productName, mine.productName, base.productName);
    take(out.version, mine.version, base.version);
    take(out.buildDate, mine.buildDate, base.buildDate);
    take(out.isEnabled, mine.isEnabled, base.isEnabled);
    take(out.lastReportSentOn, mine.lastReportSentOn, base.lastReportSentOn);
    take(out.lastReviewAskDate, mine.lastReviewAskDate, base.lastReviewAskDate);
    take(out.neverAskForReview, mine.neverAskForReview, base.neverAskForReview);
    take(out.nextReviewTargetValue, mine.nextReviewTargetValue, base.nextReviewTargetValue);
    // Always this program's: a raw identifier in the file is replaced.
    out.hardwareUUID = mine.hardwareUUID;

    // Entries are matched by name and, for repeated names, by their rank among them.
    QHash<QString, int> seen;
    for (const FeatureUsages &entry : mine.features) {
        const int rank = seen[entry.name()]++;
        const qsizetype was = occurrence(base.features, entry.name(), rank);
        const qsizetype there = occurrence(out.features, entry.name(), rank);
        if (there < 0) {
            out.features.append(entry);
            continue;
        }
        const qint64 usages = entry.usagesCount() - (was < 0 ? 0 : qint64(base.features[was].usagesCount()));
        const qint64 files = entry.filesCount() - (was < 0 ? 0 : qint64(base.features[was].filesCount()));
        FeatureUsages &target = out.features[there];
        target.setUsagesCount(clampToInt32(qint64(target.usagesCount()) + usages));
        target.setFilesCount(clampToInt32(qint64(target.filesCount()) + files));
    }
    return out;
}

} // namespace quillon
