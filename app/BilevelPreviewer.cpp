#include "app/BilevelPreviewer.h"

#include "core/image/ImageSource.h"

#include <QDateTime>
#include <QFileInfo>

#include <algorithm>
#include <new>

namespace quillon {

namespace {

// What the worker keeps between requests: one page's luminance, scaled down.
struct Scaled {
    QString path;
    int pageIndex = -1;
    QDateTime modified;
    qint64 size = -1;
    QSize box;
    std::vector<quint8> levels;
    quint32 width = 0;
    quint32 height = 0;
    bool bilevel = false;
};

// Area average down to fit `box`, keeping the aspect; smaller pages stay as they are.
void scaleDown(const std::vector<quint8> &levels, quint32 w, quint32 h, QSize box, Scaled *out)
{
    const double f = std::min({1.0, double(box.width()) / w, double(box.height()) / h});
    out->width = std::max<quint32>(1, quint32(w * f));
    out->height = std::max<quint32>(1, quint32(h * f));
    out->levels.assign(size_t(out->width) * out->height, 255);
    for (quint32 y = 0; y < out->height; ++y) {
        const quint32 y0 = quint32(quint64(y) * h / out->height), y1 = std::max(y0 + 1, quint32(quint64(y + 1) * h / out->height));
        for (quint32 x = 0; x < out->width; ++x) {
            const quint32 x0 = quint32(quint64(x) * w / out->width), x1 = std::max(x0 + 1, quint32(quint64(x + 1) * w / out->width));
            quint64 sum = 0;
            for (quint32 yy = y0; yy < y1; ++yy)
                for (quint32 xx = x0; xx < x1; ++xx)
                    sum += levels[size_t(yy) * w + xx];
            out->levels[size_t(y) * out->width + x] = quint8(sum / (quint64(y1 - y0) * (x1 - x0)));
        }
    }
}

} // namespace

BilevelPreviewer::BilevelPreviewer(QObject *parent)
    : QObject(parent)
    , m_thread([this] { work(); })
{
}

BilevelPreviewer::~BilevelPreviewer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void BilevelPreviewer::request(const Request &request)
{
    {
        std::lock_guard lock(m_mutex);
        m_pending = request;
        ++m_generation;
    }
    m_wake.notify_all();
}

void BilevelPreviewer::setOpener(Opener opener)
{
    std::lock_guard lock(m_mutex);
    m_open = std::move(opener);
}

void BilevelPreviewer::cancel()
{
    std::lock_guard lock(m_mutex);
    m_pending.reset();
    m_reported = ++m_generation;
}

bool BilevelPreviewer::isIdle() const
{
    std::lock_guard lock(m_mutex);
    return m_reported == m_generation;
}

void BilevelPreviewer::work()
{
    Scaled cache;
    for (;;) {
        Request r;
        quint64 generation = 0;
        Opener open;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || m_pending; });
            if (m_stop)
                return;
            r = *m_pending;
            m_pending.reset();
            generation = m_generation;
            open = m_open;
        }
        auto stale = [&] {
            std::lock_guard lock(m_mutex);
            return m_stop || generation != m_generation;
        };

        QString error;
        QImage image;
        try {
            const QFileInfo info(r.path);
            if (cache.path != r.path || cache.pageIndex != r.pageIndex || cache.modified != info.lastModified()
                || cache.size != info.size() || cache.box != r.box) {
                cache = Scaled();
                auto source = open ? open(r.path, &error) : image::ImageSource::open(r.path, &error);
                image::Page page;
                if (source && r.pageIndex >= source->pageCount())
                    error = tr("it has no page %1").arg(r.pageIndex + 1);
                else if (source && source->readPage(r.pageIndex, &page, &error) && !stale()) {
                    cache.bilevel = image::detail::isBilevel(page);
                    const std::vector<quint8> levels = image::detail::luminanceLevels(page);
                    const quint32 w = page.width, h = page.height;
                    page = image::Page(); // the full page is not needed any more
                    if (!stale()) {
                        scaleDown(levels, w, h, r.box, &cache);
                        cache.path = r.path;
                        cache.pageIndex = r.pageIndex;
                        cache.modified = info.lastModified();
                        cache.size = info.size();
                        cache.box = r.box;
                    }
                }
            }
            if (stale())
                continue;

            if (cache.width) {
                // A black-and-white page is written as it is; its preview only shrinks it.
                const image::BilevelOptions options = cache.bilevel ? image::BilevelOptions() : r.options;
                const image::Page bits = image::detail::bilevelFromLevels(cache.levels, cache.width, cache.height, options);
                image = QImage(int(cache.width), int(cache.height), QImage::Format_Grayscale8);
                if (image.isNull())
                    throw std::bad_alloc();
                for (quint32 y = 0; y < cache.height; ++y) {
                    uchar *line = image.scanLine(int(y));
                    const quint8 *row = bits.pixels.data() + y * bits.bytesPerRow();
                    for (quint32 x = 0; x < cache.width; ++x)
                        line[x] = (row[x / 8] & (0x80u >> (x % 8))) ? 0 : 255;
                }
            }
        } catch (const std::exception &e) {
            // Half-filled levels are no page to redraw from.
            cache = Scaled();
            image = QImage();
            error = dynamic_cast<const std::bad_alloc *>(&e) ? tr("Not enough memory") : QString::fromLocal8Bit(e.what());
        } catch (...) {
            cache = Scaled();
            image = QImage();
            error = tr("it could not be read");
        }
        if (stale())
            continue;
        const bool bilevel = cache.bilevel;
        try {
            QMetaObject::invokeMethod(
                this,
                [this, generation, image, bilevel, error] {
                    {
                        std::lock_guard lock(m_mutex);
                        if (generation != m_generation)
                            return;
                        m_reported = generation;
                    }
                    emit previewReady(image, bilevel, error);
                },
                Qt::QueuedConnection);
        } catch (...) {
            // Without memory for the report nothing can be told; the next request tries again.
        }
    }
}

} // namespace quillon
