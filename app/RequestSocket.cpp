// The per-user request socket: reading request lines, holding them while the editor is busy and
// carrying them out when it is free.
#include "app/RequestSocket.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QUrl>
#include <cstdio>

#include "protocol/MotionTable.h"

namespace pvrj {

std::optional<std::uint32_t> parsePlayRequest(const QByteArray& line) {
  QByteArray text = line.trimmed();
  if (text.isEmpty() || text.size() > kMaxPlayRequestLength) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  bool ok = false;
  qulonglong value = text.toULongLong(&ok);
  if (!ok || value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<QString> parseOpenRequest(const QByteArray& line) {
  const QByteArray prefix(kOpenRequestPrefix);
  if (!line.startsWith(prefix)) return std::nullopt;
  const QUrl url = QUrl::fromEncoded(line.mid(prefix.size()).trimmed(), QUrl::StrictMode);
  if (!url.isValid() || !url.isLocalFile() || !url.host().isEmpty()) return std::nullopt;
  const QString path = url.toLocalFile();
  if (!path.startsWith(QLatin1Char('/'))) return std::nullopt;
  return path;
}

QByteArray openRequestLine(const QString& absolutePath) {
  // Percent-encoded, so that no byte of the name can end the line early.
  return QByteArray(kOpenRequestPrefix) + QUrl::fromLocalFile(absolutePath).toEncoded() + '\n';
}

RequestSocket::RequestSocket(const QString& path, QObject* parent) : QObject(parent), path_(path) {
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  // A socket left by an editor that died is in the way; the single-instance lock says no other
  // editor of this user runs now.
  QLocalServer::removeServer(path_);
  if (server_->listen(path_)) {
    connect(server_, &QLocalServer::newConnection, this, [this] { acceptConnections(); });
  } else {
    std::fprintf(stderr, "PVRJ: no request socket at %s: %s\n", qPrintable(path_),
                 qPrintable(server_->errorString()));
  }
}

RequestSocket::~RequestSocket() {
  close();
}

bool RequestSocket::listening() const {
  return server_->isListening();
}

void RequestSocket::close() {
  watchForIdle(false);
  heldPlay_.reset();
  heldOpens_.clear();
  // Closing the server removes its socket file.
  server_->close();
}

void RequestSocket::acceptConnections() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    // No request is longer than a line of kMaxRequestLine; the buffer never needs to be.
    socket->setReadBufferSize(kMaxRequestLine + 2);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readLines(*socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      // What came just before the sender hung up; its last request may end without a line end.
      for (const QByteArray& line : socket->readAll().split('\n'))
        if (!line.isEmpty()) handleLine(nullptr, line);
      socket->deleteLater();
    });
  }
}

void RequestSocket::readLines(QLocalSocket& socket) {
  while (socket.canReadLine()) {
    const QByteArray line = socket.readLine(kMaxRequestLine + 2);
    if (!line.endsWith('\n')) {
      socket.abort();  // longer than any request
      return;
    }
    handleLine(&socket, line);
  }
  // A sender that never ends its line cannot make the buffer grow.
  if (socket.bytesAvailable() > kMaxRequestLine) socket.abort();
}

void RequestSocket::handleLine(QLocalSocket* socket, const QByteArray& line) {
  if (auto slot = parsePlayRequest(line)) {
    // Slots the board does not have are ignored, and never displace a request held before.
    if (*slot >= static_cast<std::uint32_t>(kTableSlots)) return;
    heldPlay_ = *slot;
    if (editorBusy() && showStatus)
      showStatus(slotCaption(static_cast<int>(*slot)) + " の再生は今の処理が終わってから行います");
    scheduleDelivery();
    return;
  }
  if (auto path = parseOpenRequest(line)) {
    const bool taken = heldOpens_.size() < kMaxHeldOpens;
    if (taken) heldOpens_.push_back(*path);
    if (socket && socket->state() == QLocalSocket::ConnectedState) {
      socket->write(QByteArray(taken ? kOpenTaken : kOpenRefused) + '\n');
      socket->flush();
    }
    if (taken) scheduleDelivery();
  }
}

bool RequestSocket::editorBusy() const {
  if (QApplication::activeModalWidget() || QApplication::activePopupWidget()) return true;
  return busy && busy();
}

void RequestSocket::scheduleDelivery() {
  if (deliveryPosted_) return;
  deliveryPosted_ = true;
  QTimer::singleShot(0, this, [this] {
    deliveryPosted_ = false;
    deliverOne();
  });
}

void RequestSocket::deliverOne() {
  if (!heldPlay_ && heldOpens_.empty()) {
    watchForIdle(false);
    return;
  }
  if (editorBusy()) {
    // Tried again when the event loop next runs out of work, that is when the busy part is over.
    watchForIdle(true);
    return;
  }
  // Files first, in the order they came; then the latest play request.
  if (!heldOpens_.empty()) {
    const QString path = heldOpens_.front();
    heldOpens_.pop_front();
    if (open) open(path);
  } else {
    const std::uint32_t slot = *heldPlay_;
    heldPlay_.reset();
    if (play) play(slot);
  }
  if (heldPlay_ || !heldOpens_.empty()) {
    scheduleDelivery();
  } else {
    watchForIdle(false);
  }
}

void RequestSocket::watchForIdle(bool on) {
  if (on == idleWatched_) return;
  idleWatched_ = on;
  if (!on) {
    disconnect(idleWatch_);
    return;
  }
  // aboutToBlock comes when a loop is about to wait for events: the top-level loop once the
  // handler that ran the board work has returned, or a dialog's loop (which counts as busy).
  if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
    idleWatch_ = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] {
      if (!editorBusy()) scheduleDelivery();
    });
  }
}

}  // namespace pvrj
