// Receiver references and the receiver dialog's board sequences.
#include "tools/core/ReceiverSettings.h"

#include <algorithm>

#include "common/UserInterface.h"
#include "protocol/BoardLink.h"
#include "protocol/BoardMessages.h"

namespace pvrj {
namespace {

bool validChannel(int channel) {
  return channel >= 0 && channel < kReceiverChannelCount;
}

void takeReferences(ReceiverSettings& s, const Bytes& reply) {
  std::copy_n(reply.begin(), kReceiverChannelCount, s.references.begin());
}

}  // namespace

Bytes receiverBlock(const ReceiverSettings& s) {
  return Bytes(s.references.begin(), s.references.end());
}

int receiverChange(const ReceiverSettings& s, int channel) {
  if (!validChannel(channel)) return 0;
  return static_cast<int>(s.measured[static_cast<std::size_t>(channel)]) -
         static_cast<int>(s.references[static_cast<std::size_t>(channel)]);
}

bool LoadReceiverReferences(BoardLink& link, ReceiverSettings& s) {
  Bytes reply;
  if (!link.CmdReadReceiverRefs(StoredCopy, reply)) return false;
  takeReferences(s, reply);
  return true;
}

bool StoreReceiverReferences(BoardLink& link, const ReceiverSettings& s) {
  return link.CmdWriteReceiverRefs(StoredCopy, receiverBlock(s));
}

bool openReceiverDialog(BoardLink& link, UserInterface& ui, ReceiverSettings& s) {
  if (link.SetReceiverStream(kStreamOn) && LoadReceiverReferences(link, s)) return true;
  ui.showStatus(kReceiverUnavailable);
  return false;
}

bool closeReceiverDialog(BoardLink& link, UserInterface& ui, const ReceiverSettings& s) {
  if (!StoreReceiverReferences(link, s)) {
    ui.showStatus(kReceiverUnavailable);
    return false;
  }
  // The references are stored; a stream left on is told, since the board keeps sending.
  if (!link.SetReceiverStream(kStreamOff)) ui.showStatus(link.failureStatus(kActionStreamOff));
  return true;
}

bool moveReceiverReference(BoardLink& link, ReceiverSettings& s, int channel, int position,
                           bool scrollEnded) {
  if (!validChannel(channel)) return false;
  s.references[static_cast<std::size_t>(channel)] =
      static_cast<std::uint8_t>(std::clamp(position, kReceiverRefMin, kReceiverRefMax));
  if (!scrollEnded) return true;
  return link.CmdWriteReceiverRefs(WorkingCopy, receiverBlock(s));
}

bool autoReceiverReference(BoardLink& link, ReceiverSettings& s, int channel) {
  if (!validChannel(channel)) return false;
  Bytes block = receiverBlock(s);
  block[static_cast<std::size_t>(channel)] = kTakeReceiverReading;
  if (!link.CmdWriteReceiverRefs(WorkingCopy, block)) return false;
  Bytes reply;
  if (!link.CmdReadReceiverRefs(WorkingCopy, reply)) return false;
  takeReferences(s, reply);
  return true;
}

void takeReceiverReport(ReceiverSettings& s, const ReceiverReport& report) {
  s.button = report.buttonValue;
  s.measured = report.values;
}

}  // namespace pvrj
