#include "net/NetworkQueue.h"

#include "net/FormRequest.h"

#include <QNetworkAccessManager>

namespace quillon::net {

NetworkQueue::NetworkQueue(QObject *parent)
    : NetworkQueue(nullptr, parent)
{
}

NetworkQueue::NetworkQueue(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager ? manager : new QNetworkAccessManager(this))
{
}

NetworkQueue::~NetworkQueue()
{
    reset();
}

void NetworkQueue::addOperation(FormRequest *request)
{
    if (!request || m_waiting.contains(request) || m_active.contains(request))
        return;
    request->setParent(this);
    connect(request, &FormRequest::done, this, &NetworkQueue::onRequestDone);
    m_waiting.append(request);
    if (m_running)
        startWaiting();
}

void NetworkQueue::go()
{
    m_running = true;
    startWaiting();
}

void NetworkQueue::reset()
{
    m_running = false;
    const QList<FormRequest *> all = m_active + m_waiting;
    m_active.clear();
    m_waiting.clear();
    for (FormRequest *request : all) {
        disconnect(request, nullptr, this, nullptr);
        request->cancel();
        // Later: reset() may run inside a slot of that very request.
        request->deleteLater();
    }
}

int NetworkQueue::requestsCount() const
{
    return int(m_active.size() + m_waiting.size());
}

void NetworkQueue::startWaiting()
{
    while (m_running && !m_waiting.isEmpty() && m_active.size() < m_maxConcurrent) {
        FormRequest *request = m_waiting.takeFirst();
        m_active.append(request);
        request->start(m_manager, m_timeoutMs, m_maxResponseSize);
    }
}

void NetworkQueue::onRequestDone(FormRequest *request, bool succeeded)
{
    if (!m_active.removeOne(request))
        return;
    disconnect(request, nullptr, this, nullptr);
    // Receivers may call reset() or add new requests from their slot.
    if (succeeded)
        Q_EMIT requestFinished(request);
    else
        Q_EMIT requestFailed(request);
    request->deleteLater();
    startWaiting();
    if (m_active.isEmpty() && m_waiting.isEmpty())
        Q_EMIT queueFinished();
}

} // namespace quillon::net
