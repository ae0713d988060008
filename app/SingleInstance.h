#pragma once
#include <QObject>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace quillon {

// One window per user and edition. The first start listens on a local socket
// in the user's runtime folder; a later start hands its paths (and the
// desktop's activation token) to it and ends. A socket file left behind by a
// process that was killed answers nobody: it is removed and taken over. A
// lock file orders two starts at the same moment. Main thread only.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // `name` is the socket's file name inside `folder` (the runtime folder,
    // $XDG_RUNTIME_DIR, when empty).
    explicit SingleInstance(const QString &name, const QString &folder = QString(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // "quillon-converter2.socket" for edition 2.
    static QString defaultName(int edition);

    enum Role {
        Primary,    // this start keeps running and now listens
        HandedOver, // a running start took the paths: end this one
        Alone,      // no socket could be made (or the running start does not
                    // answer): run without the one-window rule
    };
    // Hands `paths` (absolute) to a running start or becomes the one others
    // hand theirs to. `timeoutMs` bounds each wait for the running start.
    Role start(const QStringList &paths, int timeoutMs = 5000);

    QString socketPath() const { return m_path; }

signals:
    // Another start asked for the window, with its paths (possibly none) and
    // its activation token (possibly empty).
    void activationRequested(const QStringList &paths, const QString &activationToken);

private:
    bool handOver(QLocalSocket *socket, const QStringList &paths, int timeoutMs);
    void readRequest(QLocalSocket *socket);

    QString m_path;
    QLocalServer *m_server = nullptr;
};

} // namespace quillon
