#pragma once
// How a second start of Tessel reaches the first: the running Tessel listens on a local socket beside
// its instance mark, and a second start asks it there to come to the front before it refuses to run.

#include <QObject>
#include <QString>

class QLocalServer;

class InstanceChannel : public QObject {
    Q_OBJECT
  public:
    explicit InstanceChannel(QObject* parent = nullptr);

    // The socket beside the instance mark at `lockPath` ("....lock" becomes "....socket").
    static QString socketPathFor(const QString& lockPath);

    // Listens at `path`. Only the holder of the instance mark may: a socket left there by a Tessel that
    // crashed is replaced. False when the socket cannot be made; Tessel then runs without it.
    bool listen(const QString& path);

    // Asks the Tessel listening at `path` to come to the front; false when none answers.
    static bool askToRaise(const QString& path);

  signals:
    void raiseRequested();

  private:
    QLocalServer* m_server;
};
