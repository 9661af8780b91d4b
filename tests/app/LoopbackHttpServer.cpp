#include "LoopbackHttpServer.h"

#include "app/UpdateCheck.h"

#include <QTcpSocket>
#include <QTimer>

LoopbackHttpServer::LoopbackHttpServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackHttpServer::OnConnection);
}

bool LoopbackHttpServer::Listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LoopbackHttpServer::BaseUrl() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(Port());
}

quint16 LoopbackHttpServer::RefusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void LoopbackHttpServer::OnConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void LoopbackHttpServer::OnReadable(QTcpSocket* socket) {
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n") || socket->property("answered").toBool()) return;
    socket->setProperty("answered", true);
    const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray target = requestLine.value(1);
    const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    m_requests << path;
    Route route;
    if (auto it = m_routes.constFind(path); it != m_routes.constEnd())
        route = *it;
    else
        route = Route{404, "[KQ_NFC Programmer]\r\nVersion=9.9\r\nBuild=2099-01-01\r\n"};
    switch (route.behavior) {
    case Behavior::NeverAnswer:
        return;
    case Behavior::Delayed:
        QTimer::singleShot(route.delayMs, socket, [this, socket, route] { Respond(socket, route); });
        return;
    default:
        Respond(socket, route);
    }
}

void LoopbackHttpServer::Respond(QTcpSocket* socket, const Route& route) {
    const bool shortOfBody = route.behavior == Behavior::CutShort || route.behavior == Behavior::Stalls;
    const qsizetype announced =
        route.body.size() + (shortOfBody ? 1000 : 0) + (route.behavior == Behavior::Trickles ? 1000000 : 0);
    QByteArray head = "HTTP/1.1 " + QByteArray::number(route.status) + " Status\r\n";
    head += "Content-Type: application/octet-stream\r\n";
    head += "Content-Length: " + QByteArray::number(announced) + "\r\n";
    if (!route.location.isEmpty()) head += "Location: " + route.location + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head + route.body);
    if (route.behavior == Behavior::Trickles) {
        auto* trickle = new QTimer(socket); // ends with the connection
        connect(trickle, &QTimer::timeout, socket, [socket] { socket->write("t"); });
        trickle->start(20);
        return;
    }
    if (route.behavior != Behavior::Stalls) socket->disconnectFromHost(); // after the bytes are out
}

std::unique_ptr<CUpdateCheck> NewUpdateCheck(const QString& base, int timeoutMs) {
    qputenv("KQ_UPDATE_BASE_URL", base.toUtf8());
    auto check = std::make_unique<CUpdateCheck>("DAZEZaruvoriZI.txt", "KQ_NFC Programmer");
    check->SetTimeout(timeoutMs);
    return check;
}
