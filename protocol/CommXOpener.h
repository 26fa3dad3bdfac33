// The serial-port component seen as the board link's port opener.
#pragma once

#include <string>
#include <utility>

#include "protocol/BoardLink.h"
#include "serial/CommX.h"

namespace pvrj {

// Opens "COM"k, or a fixed device path when one is given (the command line's --port /dev/...).
class CommXOpener : public PortOpener {
 public:
  explicit CommXOpener(TCommX& comm, std::string devicePath = {})
      : comm_(comm), devicePath_(std::move(devicePath)) {}

  void Close() override { comm_.Close(); }
  void Open(int portNo) override {
    if (devicePath_.empty()) {
      comm_.SetDevicePath("");
      comm_.SetPortNo(portNo);
    } else {
      comm_.SetDevicePath(devicePath_);
    }
    comm_.Open();
  }
  void SetDtr(bool on) override { comm_.SetDtr(on); }

 private:
  TCommX& comm_;
  std::string devicePath_;
};

}  // namespace pvrj
