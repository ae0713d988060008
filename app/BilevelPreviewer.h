#pragma once
#include "core/image/Bilevel.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon {

namespace image {
class ImageSource;
}

// Makes small previews of what the fax compressions turn a source page into,
// on a worker thread of its own: the page is decoded there (the decoded,
// scaled-down luminance of the last page is kept, so a change of method
// only redraws), never on the main thread. A request replaces any earlier
// one not yet reported: only the newest is finished and reported. Whatever
// the work throws (running out of memory on a huge page) ends that preview
// with an error; the worker goes on with the next request.
// Main thread only; the worker is joined in the destructor.
class BilevelPreviewer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QString path;
        int pageIndex = 0;               // 0-based
        image::BilevelOptions options;
        QSize box{200, 150};             // the preview fits inside, never scaled up
        bool operator==(const Request &) const = default;
    };

    explicit BilevelPreviewer(QObject *parent = nullptr);
    ~BilevelPreviewer() override;

    void request(const Request &request);
    // Forgets any request: nothing more is reported until the next one.
    void cancel();
    // Whether the newest request has been reported.
    bool isIdle() const;

    // How the worker opens a source (image::ImageSource::open by default);
    // called on the worker thread. Set before the first request.
    using Opener = std::function<std::unique_ptr<image::ImageSource>(const QString &path, QString *error)>;
    void setOpener(Opener opener);

signals:
    // The newest request's result: a grey-scale image of black and white
    // pixels, or a null image and why. `alreadyBilevel`: the page is black and
    // white itself and is written as it is.
    void previewReady(const QImage &image, bool alreadyBilevel, const QString &error);

private:
    void work();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_pending;
    quint64 m_generation = 0; // of the newest request
    quint64 m_reported = 0;
    bool m_stop = false;
    Opener m_open;
    std::thread m_thread;
};

} // namespace quillon
