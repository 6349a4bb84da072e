#include "ui/instance_server.h"

#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "app/instances.h"

namespace quorvel {

InstanceServer::InstanceServer(std::function<void()> closeRequested, QObject* parent)
    : QObject(parent), closeRequested_(std::move(closeRequested)), server_(new QLocalServer(this)) {
  connect(server_, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() { stop(); }

bool InstanceServer::listen() {
  if (server_->isListening()) return true;
  path_ = OwnInstanceSocketPath();
  RemoveStaleSocket(path_, getuid());
  // A name another listener holds is never taken over.
  if (ProbeInstanceSocket(path_) == SocketState::kListening) return false;
  // Only the user may connect.
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  return server_->listen(QString::fromStdString(path_));
}

void InstanceServer::stop() {
  if (server_->isListening()) server_->close();
}

bool InstanceServer::listening() const { return server_->isListening(); }

void InstanceServer::accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto buffer = std::make_shared<std::string>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      QByteArray bytes = socket->readAll();
      buffer->append(bytes.constData(), static_cast<size_t>(bytes.size()));
      // A line is at most a few bytes; anything long is not ours.
      if (buffer->size() > 256) {
        socket->abort();
        return;
      }
      InstanceRequest request = ParseInstanceMessage(*buffer);
      if (request == InstanceRequest::kIncomplete) return;
      socket->disconnectFromServer();
      // Handled as a close of the main window, after the sender's request is done.
      if (request == InstanceRequest::kClose) QTimer::singleShot(0, this, [this] { closeRequested_(); });
    });
  }
}

}  // namespace quorvel
