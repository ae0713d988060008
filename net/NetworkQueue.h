#pragma once
#include <QList>
#include <QObject>
#include <QPointer>

class QNetworkAccessManager;

namespace quillon::net {

class FormRequest;

// A queue of HTTP requests, run a few at a time once go() was called.
//
// Threading: create and use it on the main thread. QtNetwork moves the bytes on
// its own thread; requestFinished/requestFailed are always delivered on the
// queue's thread, from the event loop (never from inside addOperation or go).
//
// Ownership: the queue owns the requests added to it. A reported request is
// deleted after its signal returns, so receivers must not keep the pointer.
class NetworkQueue : public QObject
{
    Q_OBJECT

public:
    // Seconds of silence (nothing sent or received) after which a request fails.
    static constexpr int kDefaultTimeoutMs = 10 * 1000;
    static constexpr qint64 kDefaultMaxResponseSize = 16 * 1024 * 1024;

    explicit NetworkQueue(QObject *parent = nullptr);
    // With a manager of the caller's (not owned); tests and proxies use this.
    NetworkQueue(QNetworkAccessManager *manager, QObject *parent);
    ~NetworkQueue() override;

    // Takes ownership. Starts at once when the queue is running and has room.
    void addOperation(FormRequest *request);
    // Starts the queue; requests added later start by themselves.
    void go();
    // Cancels running requests and drops pending ones without reporting them, and
    // stops the queue until the next go().
    void reset();

    // Requests not yet reported (running and waiting).
    int requestsCount() const;
    bool isRunning() const { return m_running; }

    void setTimeoutInterval(int milliseconds) { m_timeoutMs = milliseconds; }
    int timeoutInterval() const { return m_timeoutMs; }
    void setMaxConcurrentOperationCount(int count) { m_maxConcurrent = count < 1 ? 1 : count; }
    int maxConcurrentOperationCount() const { return m_maxConcurrent; }
    // Upper bound of a response body, before and after decompression.
    void setMaxResponseSize(qint64 bytes) { m_maxResponseSize = bytes; }
    qint64 maxResponseSize() const { return m_maxResponseSize; }

Q_SIGNALS:
    // The server answered (any HTTP status). request->responseString() holds the body.
    void requestFinished(quillon::net::FormRequest *request);
    // No answer: network error, time-out, damaged encoding or an over-long body.
    void requestFailed(quillon::net::FormRequest *request);
    // Every request added so far has been reported.
    void queueFinished();

private:
    void startWaiting();
    void onRequestDone(FormRequest *request, bool succeeded);

    QNetworkAccessManager *m_manager = nullptr;
    QList<FormRequest *> m_waiting;
    QList<FormRequest *> m_active;
    bool m_running = false;
    int m_timeoutMs = kDefaultTimeoutMs;
    int m_maxConcurrent = 4;
    qint64 m_maxResponseSize = kDefaultMaxResponseSize;
};

} // namespace quillon::net
