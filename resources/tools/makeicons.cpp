// Build-time tool: renders the application icon's SVG into the PNG sizes of
// the hicolor icon theme. Usage: makeicons <icon.svg> <out-dir> <name> <size>...
// writes <out-dir>/<size>x<size>/apps/<name>.png for each size.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 5) {
        std::fprintf(stderr, "usage: makeicons <icon.svg> <out-dir> <name> <size>...\n");
        return 2;
    }
    QSvgRenderer svg(args.at(1));
    if (!svg.isValid()) {
        std::fprintf(stderr, "makeicons: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    for (qsizetype i = 4; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 1 || size > 4096) {
            std::fprintf(stderr, "makeicons: bad size %s\n", qPrintable(args.at(i)));
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        svg.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(args.at(2)).arg(size);
        const QString path = QStringLiteral("%1/%2.png").arg(dir, args.at(3));
        QSaveFile out(path);
        if (!QDir().mkpath(dir) || !out.open(QIODevice::WriteOnly) || !image.save(&out, "PNG") || !out.commit()) {
            std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
