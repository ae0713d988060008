#pragma once
#include "core/image/Bilevel.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon {

// Makes small previews of what the fax compressions turn a source page into,
// on a worker thread of its own: the page is decoded there (the decoded,
// scaled-down luminance of the last page is kept, so a change of method
// only redraws), never on the main thread. A request replaces any earlier
// one not yet reported: only the newest is finished and reported.
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
    std::thread m_thread;
};

} // namespace quillon
