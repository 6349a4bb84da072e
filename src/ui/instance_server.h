#pragma once
// This instance's local socket: the other instances of the user send their
// close requests here, and " Close all instances" sends its own through it.

#include <QObject>
#include <functional>
#include <string>

class QLocalServer;

namespace quorvel {

class InstanceServer : public QObject {
  Q_OBJECT

 public:
  // closeRequested runs (from the event loop) for each close request received.
  explicit InstanceServer(std::function<void()> closeRequested, QObject* parent = nullptr);
  ~InstanceServer() override;

  // Listens on the socket of this process, after removing a stale one left
  // under the same name. False when it could not listen.
  bool listen();
  void stop();
  bool listening() const;
  const std::string& path() const { return path_; }

 private:
  void accept();

  std::function<void()> closeRequested_;
  QLocalServer* server_ = nullptr;
  std::string path_;
};

}  // namespace quorvel
