#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <memory>

class CUpdateCheck;
class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 with an ephemeral port, for the update
// check's tests. Each path answers as its route says; unknown paths get 404.
class LoopbackHttpServer : public QObject {
    Q_OBJECT
public:
    enum class Behavior {
        Normal,      // status, headers, whole body, close
        CutShort,    // announces more body than it sends, then closes
        NeverAnswer, // reads the request and stays silent
        Delayed,     // answers normally after delayMs
        Stalls,      // status, headers and body, announcing more, then silent with the line open
        Trickles,    // status, headers and body, announcing much more, then one byte each 20 ms
    };
    struct Route {
        Route(int status_ = 200, QByteArray body_ = {}, Behavior behavior_ = Behavior::Normal,
              int delayMs_ = 0)
            : status(status_), body(std::move(body_)), behavior(behavior_), delayMs(delayMs_) {}
        int status;
        QByteArray body;
        Behavior behavior;
        int delayMs;
        QByteArray location; // Location header (redirects)
    };

    explicit LoopbackHttpServer(QObject* parent = nullptr);
    bool Listen();
    quint16 Port() const { return m_server.serverPort(); }
    QString BaseUrl() const;
    void SetRoute(const QByteArray& path, const Route& route) { m_routes[path] = route; }
    // Request paths in the order they came.
    const QList<QByteArray>& Requests() const { return m_requests; }

    // A loopback port that refuses connections (nothing listens there).
    static quint16 RefusedPort();

private:
    void OnConnection();
    void OnReadable(QTcpSocket* socket);
    void Respond(QTcpSocket* socket, const Route& route);

    QTcpServer m_server;
    QHash<QByteArray, Route> m_routes;
    QList<QByteArray> m_requests;
};

// Where the update check finds its version file on the server.
inline const QByteArray kVersionFilePath = "/rfid/software/DAZEZaruvoriZI.txt";
// An update check for the program's version file under the base address given (no
// server when empty), with the time-out given.
std::unique_ptr<CUpdateCheck> NewUpdateCheck(const QString& base, int timeoutMs);
