// The board's command codes, shared by the link that sends them and the virtual board that answers.
#pragma once

#include <cstdint>

namespace pvrj {

enum CommandCode : std::uint8_t {
  kReadChannelName = 0xD0,
  kWriteChannelName = 0xD1,
  kReadHomePosition = 0xD2,
  kWriteHomePosition = 0xD3,
  kReadQvsParams = 0xDA,
  kWriteQvsParams = 0xDB,
  kReadQvsMask = 0xDC,
  kWriteQvsMask = 0xDD,
  kReadReceiverRefs = 0xDF,
  kWriteReceiverRefs = 0xE0,
  kReadSensorBlock = 0xE1,
  kWriteSensorBlock = 0xE2,
  kReadMixingBlock = 0xE3,
  kWriteMixingBlock = 0xE4,
  kReadAnalogRefs = 0xE5,
  kWriteAnalogRefs = 0xE6,
  kSetAnalogRef = 0xE7,
  kReadAlarm = 0xEB,
  kWriteAlarm = 0xEC,
  kReadCounter = 0xED,
  kReadStartData = 0xEE,
  kWriteStartData = 0xEF,
  kReadPositions = 0xF0,
  kReadOptions = 0xF1,
  kWriteOptions = 0xF2,
  kStop = 0xF3,
  kPlay = 0xF4,
  kReadTableEntry = 0xF5,
  kWriteTableEntry = 0xF6,
  kReadScenarioStep = 0xF7,
  kWriteScenarioStep = 0xF8,
  kReadTrims = 0xF9,
  kWriteTrims = 0xFA,
  kSetTrim = 0xFB,
  kReadPositionRecord = 0xFC,
  kWritePositionRecord = 0xFD,
  kSetServo = 0xFE,
  kReadBoardInfo = 0xFF,
};

}  // namespace pvrj
