#pragma once

// One window per playlist: the first `mireldo` listens on a local socket named after its list
// file; a later one hands its files to it over that socket and exits instead of opening a
// second window on the same list.
//
// The socket lives in the user's runtime folder ($XDG_RUNTIME_DIR, else Qt's private 0700
// folder) and only the user may connect. A lock file beside it makes "is one running? else
// listen" one step, so two programs started together do not both listen.
//
// Messages: the later program writes "MRL1", the payload's length (32 bits, big-endian, at most
// 16 MiB) and the payload: each file's path bytes followed by a NUL (paths are bytes and never
// hold one). It then waits for one byte 'A', which the first writes after it has taken the
// files. A request of another kind is dropped without an answer.
//
// Threads: the main thread (the socket's notifications arrive on it).

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace mireldo {

class SingleInstance : public QObject {
    Q_OBJECT

  public:
    /// `key` names the instance: programs with the same key share one window (the list file's
    /// path). `folder` is where the socket and its lock file go; empty: the runtime folder.
    explicit SingleInstance(const QString& key, const QString& folder = {},
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Outcome {
        Primary,    ///< no other instance runs: this one now listens for later ones
        HandedOver, ///< a running instance took the files; this program should exit
        NotTaken,   ///< one answers but did not take the files within the time allowed
    };
    /// Hands `files` to a running instance, or becomes the one that runs. Waits at most
    /// `timeoutMs` milliseconds for a running instance's answer.
    Outcome start(const QStringList& files, int timeoutMs = 15000);

    /// The socket's path.
    QString socketPath() const { return socketPath_; }

  Q_SIGNALS:
    /// A later program handed over these files (absolute paths; possibly none, when it was
    /// started without files: then the window only comes to the front).
    void filesReceived(const QStringList& files);

  private:
    bool handOver(const QStringList& files, int timeoutMs, bool& answered);
    void readRequest(QLocalSocket* socket);

    QString socketPath_;
    QString lockPath_;
    QLocalServer* server_ = nullptr;
};

} // namespace mireldo
