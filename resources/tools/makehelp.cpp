// Build-time tool: turns the Markdown user guide into the PDF that the Help
// command opens. Usage: makehelp <guide.md> <out.pdf> <application title> <version>
// Needs a GUI platform for fonts; the build runs it with QT_QPA_PLATFORM=offscreen.
#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <cmath>
#include <cstdio>

namespace {

const QColor kAccent(0x2a, 0x5d, 0x94);
const QColor kRule(0xb8, 0xc6, 0xd4);

void styleHeadings(QTextDocument &doc, const QFont &base)
{
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const int level = b.blockFormat().headingLevel();
        if (level == 0)
            continue;
        QTextCursor c(b);
        QTextBlockFormat bf = b.blockFormat();
        bf.setTopMargin(level == 1 ? 0 : level == 2 ? 18 : 10);
        bf.setBottomMargin(level == 1 ? 4 : 6);
        c.setBlockFormat(bf);
        c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        // The Markdown reader sizes headings by a relative adjustment that would
        // override an explicit size, so it is removed rather than merged over.
        QTextCharFormat cf = c.charFormat();
        cf.clearProperty(QTextFormat::FontSizeAdjustment);
        const qreal scale = level == 1 ? 2.2 : level == 2 ? 1.45 : 1.15;
        cf.setFontPointSize(base.pointSizeF() * scale);
        cf.setFontWeight(QFont::Bold);
        cf.setForeground(kAccent);
        c.setCharFormat(cf);
        c.setBlockCharFormat(cf);
    }
}

// A heading must not be the last thing on a page: one that would start in the
// bottom part of a page moves to the next page. One break at a time, each
// followed by a full layout, since every break moves what follows it.
void keepHeadingsWithText(QTextDocument &doc, qreal minimumBelow)
{
    const qreal pageHeight = doc.pageSize().height();
    for (bool moved = true; moved;) {
        moved = false;
        doc.setPageSize(doc.pageSize()); // lays the whole document out again
        QAbstractTextDocumentLayout *layout = doc.documentLayout();
        for (QTextBlock b = doc.begin(); b.isValid() && !moved; b = b.next()) {
            QTextBlockFormat bf = b.blockFormat();
            if (bf.headingLevel() < 2 || bf.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
                continue;
            const QRectF r = layout->blockBoundingRect(b);
            const qreal offset = std::fmod(r.top(), pageHeight);
            if (offset > 0 && pageHeight - offset < r.height() + minimumBelow) {
                bf.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
                QTextCursor(b).setBlockFormat(bf);
                moved = true;
            }
        }
    }
}

void styleTables(QTextDocument &doc)
{
    const auto frames = doc.rootFrame()->childFrames();
    for (QTextFrame *frame : frames) {
        auto *table = qobject_cast<QTextTable *>(frame);
        if (!table)
            continue;
        QTextTableFormat tf = table->format();
        tf.setBorder(0.6);
        tf.setBorderBrush(kRule);
        tf.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        tf.setBorderCollapse(true);
        tf.setCellPadding(4);
        tf.setCellSpacing(0);
        tf.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tf.setHeaderRowCount(1);
        tf.setTopMargin(4);
        tf.setBottomMargin(8);
        table->setFormat(tf);
        for (int col = 0; col < table->columns(); ++col) {
            QTextTableCell cell = table->cellAt(0, col);
            QTextCharFormat cf = cell.format();
            cf.setBackground(QColor(0xe8, 0xef, 0xf6));
            cell.setFormat(cf);
            QTextCursor c = cell.firstCursorPosition();
            c.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
            QTextCharFormat bold;
            bold.setFontWeight(QFont::Bold);
            c.mergeCharFormat(bold);
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: makehelp <guide.md> <out.pdf> <title> <version>\n");
        return 2;
    }
    const QString title = args.at(3);
    const QString version = args.at(4);

    QFile in(args.at(1));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "makehelp: %s\n", qPrintable(in.errorString()));
        return 1;
    }
    QString markdown = QString::fromUtf8(in.readAll());
    markdown.replace(QStringLiteral("##APPTITLE##"), title);
    markdown.replace(QStringLiteral("##VERSION##"), version);

    QSaveFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "makehelp: %s\n", qPrintable(out.errorString()));
        return 1;
    }

    QPdfWriter writer(&out);
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
    writer.setTitle(QStringLiteral("%1 User Guide").arg(title));
    writer.setCreator(title);

    QFont base = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    base.setStyleHint(QFont::SansSerif);
    base.setPointSizeF(10);

    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setDefaultFont(base);
    doc.setMarkdown(markdown);
    styleHeadings(doc, base);
    styleTables(doc);

    // Room above and below the text for the running header and the page number.
    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
    const qreal band = writer.resolution() * 0.35;
    const QSizeF body(area.width(), area.height() - 2 * band);
    doc.setPageSize(body);
    QTextFrameFormat rootFormat = doc.rootFrame()->frameFormat();
    rootFormat.setMargin(0);
    doc.rootFrame()->setFrameFormat(rootFormat);
    keepHeadingsWithText(doc, body.height() * 0.12);

    const int pages = doc.pageCount();
    QPainter painter(&writer);
    QFont small = base;
    small.setPointSizeF(8);
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.save();
        painter.translate(0, band);
        const QRectF clip(0, page * body.height(), body.width(), body.height());
        painter.translate(0, -clip.top());
        doc.drawContents(&painter, clip);
        painter.restore();

        painter.setFont(small);
        painter.setPen(QColor(0x6b, 0x77, 0x84));
        if (page > 0) {
            const QRectF header(0, 0, area.width(), band * 0.7);
            painter.drawText(header, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("%1 User Guide").arg(title));
            painter.setPen(QPen(kRule, 2));
            painter.drawLine(QPointF(0, band * 0.8), QPointF(area.width(), band * 0.8));
            painter.setPen(QColor(0x6b, 0x77, 0x84));
        }
        const QRectF footer(0, area.height() - band * 0.7, area.width(), band * 0.7);
        painter.drawText(footer, Qt::AlignRight | Qt::AlignBottom, QStringLiteral("Page %1 of %2").arg(page + 1).arg(pages));
    }
    if (!painter.end() || !out.commit()) {
        std::fprintf(stderr, "makehelp: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
