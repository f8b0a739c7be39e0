#include "platform/single_instance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

SingleInstance::~SingleInstance()
{
    if (lock >= 0)
        close(lock);
}

bool SingleInstance::claim()
{
#ifdef __APPLE__
    return true;
#else
    // The user's runtime folder belongs to the user alone (Qt checks its owner
    // and mode, and falls back to a private folder of its own).
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString name = folder + QStringLiteral("/halden-setup");
    // Who is the one instance is decided by a lock the kernel drops when its
    // holder ends in any way, crashes and kills included, never by whether the
    // socket's file exists: a crashed instance leaves that file behind. Not
    // inherited by the agent or anything else the program starts, which would
    // otherwise hold it past the program's end.
    if (!folder.isEmpty())
        lock = open(QFile::encodeName(name + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0)
        return true; // no place to meet: the program starts as it always did
    // The holder listens a moment after it took the lock, and may end at any
    // moment: until one of the two answers, ask both again. A holder that never
    // answers is busy or hung; a second window would let two agents run at once,
    // so this start ends all the same.
    QLocalSocket socket;
    for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QThread::msleep(20)) {
        if (flock(lock, LOCK_EX | LOCK_NB) == 0) {
            QLocalServer::removeServer(name); // left by an instance that ended without removing it
            connect(&server, &QLocalServer::newConnection, this, [this] {
                while (QLocalSocket* request = server.nextPendingConnection())
                    request->deleteLater(); // a connection is the whole request
                emit activationRequested();
            });
            server.listen(name);
            return true;
        }
        if (errno != EWOULDBLOCK)
            return true; // a file system without locks: no way to tell, so start
        socket.connectToServer(name);
        if (socket.waitForConnected(1000)) {
            socket.disconnectFromServer();
            return false;
        }
    }
    return false;
#endif
}

} // namespace platform
