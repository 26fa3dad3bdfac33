// The per-user local socket on which the running editor takes requests from other programs: slot
// numbers to play, and chart files that a second start hands over.
#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

class QLocalServer;
class QLocalSocket;

namespace pvrj {

// A request is one line. A line of at most kMaxPlayRequestLength bytes holding a decimal number
// plays that slot ("4\n"); "open " and a file URL opens that chart ("open
// file:///home/a/walk.VLB\n").
inline constexpr qsizetype kMaxPlayRequestLength = 16;
inline constexpr qsizetype kMaxRequestLine = 16384;  // a percent-encoded PATH_MAX with room
inline constexpr const char* kOpenRequestPrefix = "open ";
// The editor answers an open request with one of these lines.
inline constexpr const char* kOpenTaken = "ok";
inline constexpr const char* kOpenRefused = "no";
// Files handed over while the editor is busy wait in order; more are refused.
inline constexpr std::size_t kMaxHeldOpens = 16;

// The slot number of a play request, as the 32-bit value another program sends; nothing for text
// that is no such number.
std::optional<std::uint32_t> parsePlayRequest(const QByteArray& line);
// The absolute local path of an open request; nothing for any other line.
std::optional<QString> parseOpenRequest(const QByteArray& line);
// The open request line for an absolute path, newline included.
QByteArray openRequestLine(const QString& absolutePath);

class RequestSocket : public QObject {
  Q_OBJECT
 public:
  // Listens on path (a socket left there by an editor that died is removed first).
  RequestSocket(const QString& path, QObject* parent);
  ~RequestSocket() override;

  bool listening() const;
  QString path() const { return path_; }
  // Stops taking requests and removes the socket file; requests still held are dropped.
  void close();

  // Requests are carried out only while these are not busy: a board exchange or sequence that a
  // play or a new chart must not cut into. A modal dialog or open menu counts as busy too.
  std::function<bool()> busy;
  std::function<void(std::uint32_t slot)> play;
  std::function<void(const QString& path)> open;
  std::function<void(const std::string& text)> showStatus;

  // What is waiting for the editor to be free (for tests and the status line).
  std::optional<std::uint32_t> heldPlay() const { return heldPlay_; }
  std::size_t heldOpens() const { return heldOpens_.size(); }

 private:
  void acceptConnections();
  void readLines(QLocalSocket& socket);
  void handleLine(QLocalSocket* socket, const QByteArray& line);
  bool editorBusy() const;
  // Carries out one held request now, or later when the editor is free.
  void scheduleDelivery();
  void deliverOne();
  void watchForIdle(bool on);

  QString path_;
  QLocalServer* server_ = nullptr;
  std::optional<std::uint32_t> heldPlay_;  // the latest play request wins
  std::deque<QString> heldOpens_;
  bool deliveryPosted_ = false;
  QMetaObject::Connection idleWatch_;
  bool idleWatched_ = false;
};

}  // namespace pvrj
