// The request pipe as the host serves it: wraps the real channel so that an answer left
// empty on purpose is not sent (nor logged as a failed write), and so that an action can
// run right after the next answer has been written.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "transport/IPCInterface.h"
#include "transport/NamedPipe.h"

namespace Host {

// Used by the request thread only, like the channel it wraps.
class RequestChannel : public IPC::IPCInterface {
 public:
  explicit RequestChannel(std::unique_ptr<IPC::NamedPipe> inner)
      : IPCInterface(inner->Name(), inner->GetMode()), inner_(std::move(inner)) {}

  bool Open(uint32_t timeoutMs) override { return inner_->Open(timeoutMs); }
  bool Read(std::string& message, uint32_t timeoutMs) override {
    return inner_->Read(message, timeoutMs);
  }
  // An empty message is the host choosing not to answer: nothing is sent.
  bool Write(const std::string& message, uint32_t timeoutMs) override;
  void Close() override { inner_->Close(); }

  // Runs once, after the next write (sent or not) or, if the next answer is empty, at once.
  void AfterNextWrite(std::function<void()> action) { afterWrite_ = std::move(action); }
  // The next answer goes out as this stream, its text already compressed by the caller.
  void SendNextAs(std::string stream) { nextStream_ = std::move(stream); }

 private:
  std::unique_ptr<IPC::NamedPipe> inner_;
  std::function<void()> afterWrite_;
  std::string nextStream_;
};

}  // namespace Host
