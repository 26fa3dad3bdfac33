// A scripted board port for the link's tests: answers handshakes and requests by script and
// records every byte written, every read and every purge in order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "protocol/BoardTypes.h"
#include "serial/BoardPort.h"

namespace pvrj::test {

class ScriptedPort : public BoardPort {
 public:
  bool open = true;
  int timeOut = 300;
  bool answerHandshake = true;
  std::uint8_t handshakeAnswer = 0x0D;
  // Bytes the board sends after a request (the handshake is answered separately).
  std::function<Bytes(const Bytes& request)> responder;
  // Runs after each handshake byte (after the answer, if any).
  std::function<void()> onHandshake;
  // Runs when a read finds fewer bytes than it asked for, as a real wait would run the hook.
  bool runHookOnWait = true;

  std::deque<std::uint8_t> inbound;
  std::vector<Bytes> requests;  // every write except lone handshake bytes
  int handshakes = 0;
  std::vector<std::size_t> readSizes;  // count asked by each read
  std::vector<int> readTimeOuts;       // the time-out in force at each read
  std::vector<std::string> log;        // "hs", "req", "read N", "purgeR", "purgeT", "timeout N"

  bool IsOpen() const override { return open; }

  void Write(const std::uint8_t* data, std::size_t count) override {
    if (!open) return;
    Bytes bytes(data, data + count);
    if (count == 1 && data[0] == 0x0D) {
      ++handshakes;
      log.push_back("hs");
      if (answerHandshake) inbound.push_back(handshakeAnswer);
      if (onHandshake) onHandshake();
      return;
    }
    requests.push_back(bytes);
    log.push_back("req");
    if (responder) {
      Bytes answer = responder(bytes);
      inbound.insert(inbound.end(), answer.begin(), answer.end());
    }
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    readSizes.push_back(count);
    readTimeOuts.push_back(timeOut);
    log.push_back("read " + std::to_string(count));
    if (!open) return 0;
    if (inbound.size() < count && runHookOnWait && hook_) hook_();
    std::size_t n = std::min(count, inbound.size());
    for (std::size_t i = 0; i < n; ++i) {
      buffer[i] = inbound.front();
      inbound.pop_front();
    }
    return n;
  }

  void PurgeReceive() override {
    log.push_back("purgeR");
    inbound.clear();
  }
  void PurgeTransmit() override { log.push_back("purgeT"); }
  std::size_t InQueueCount() override { return inbound.size(); }
  int TimeOutReceive() const override { return timeOut; }
  void SetTimeOutReceive(int milliseconds) override {
    timeOut = milliseconds;
    log.push_back("timeout " + std::to_string(milliseconds));
  }
  void SetWaitHook(std::function<void()> hook) override { hook_ = std::move(hook); }
  bool hasHook() const { return static_cast<bool>(hook_); }

 private:
  std::function<void()> hook_;
};

// Appends the checksum to data bytes, as the board sends a data reply.
inline Bytes withChecksum(Bytes data) {
  std::uint8_t sum = 0;
  for (std::uint8_t b : data) sum = static_cast<std::uint8_t>(sum + b);
  data.push_back(sum);
  return data;
}

}  // namespace pvrj::test
