// A loopback HTTP server for the download tests: it runs in the test's own
// thread and is served by whatever event loop runs there (the download's).
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <string>

// Answers every request with one fixed status and body, then closes.
class LoopbackServer {
 public:
  LoopbackServer(int status, QByteArray body) : status_(status), body_(std::move(body)) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
          request_ += socket->readAll();
          if (!request_.contains("\r\n\r\n")) return;
          ++requests;
          socket->write("HTTP/1.1 " + QByteArray::number(status_) +
                        (status_ == 200 ? " OK" : " Not Found") +
                        "\r\nContent-Type: application/octet-stream\r\nContent-Length: " +
                        QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
          socket->disconnectFromHost();
        });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      }
    });
  }
  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/mds.jwt";
  }
  void SetBody(QByteArray body) { body_ = std::move(body); }
  int requests = 0;

 private:
  QTcpServer server_;
  int status_;
  QByteArray body_;
  QByteArray request_;
};

// Promises a large body and then sends one byte of it every half second, so
// that only a deadline on the whole download ends it.
class DrippingServer {
 public:
  DrippingServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* socket = server_.nextPendingConnection()) {
        socket->write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
        auto* timer = new QTimer(socket);
        QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("x"); });
        timer->start(500);
      }
    });
  }
  std::string Url() const {
    return "http://127.0.0.1:" + std::to_string(server_.serverPort()) + "/mds.jwt";
  }

 private:
  QTcpServer server_;
};
