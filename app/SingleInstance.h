#pragma once
#include <QObject>
#include <QStringList>

#include <memory>

class QLocalServer;
class QLockFile;
class QLocalSocket;

namespace quillon {

// One window per user and edition. The first start listens on a local socket
// in the user's runtime folder; a later start hands its paths (and the
// desktop's activation token) to it and ends. The one that listens holds a
// lock file beside the socket for as long as it runs; only a start that gets
// that lock (its owner is gone) removes a socket file left behind and takes
// it over, so a window that is merely busy never loses its socket and a
// second window never opens beside it. Main thread only.
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
        Busy,       // a running start holds the window but did not answer in
                    // time (a request sent stays with it, taken once it is
                    // free): end this one
        Alone,      // no lock or socket can be made here: run without the
                    // one-window rule
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
    std::unique_ptr<QLockFile> m_lock; // held while this start listens
    QLocalServer *m_server = nullptr;
};

} // namespace quillon
