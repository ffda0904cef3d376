// The one plug-in this process serves: its identifier, its request channel to the
// host and the API time-out. Shared by every JavaScript environment of the process and
// never destroyed; every use of the channel happens in a turn of the RequestQueue.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "bridge/RequestQueue.h"
#include "bridge/Singleton.h"
#include "ipc/IPCHandler.h"
#include "ipc/RequestMessage.h"

namespace Hostlink {

class PluginManager : public Singleton<PluginManager> {
 public:
  PluginManager();
  ~PluginManager() override;

  // Connects the request channel named pluginId, in its turn; true when initialized
  // afterwards (also when it already was, with the identifier unchanged).
  bool Initialize(const std::string& pluginId);
  // Cancels every request not yet sent, lets the one in flight end, deregisters the
  // callbacks with the host, tells it the plug-in unloads, then ends the callbacks and
  // closes the channel; true when no longer initialized afterwards (also when it never
  // was). On false nothing changed: the channel and the callbacks are kept, and the host
  // has the callbacks again. The API time-out goes back to none.
  bool CleanUp();
  // One exchange in its own turn: writes the request, takes the next message on the
  // channel as the response text. False when not initialized or the exchange failed.
  bool SendRequest(const IPC::RequestMessage& request, std::string& response);
  // One exchange of a request text; the caller holds the turn.
  ExchangeOutcome Exchange(const std::string& request, std::string& response);
  // The same in two halves, on two threads, the turn held throughout: WriteNow writes the
  // request only when that needs no waiting (false: nothing sent, Exchange does it all);
  // ReadAnswer takes the answer of what WriteNow wrote.
  bool WriteNow(const std::string& request);
  // The API time-out counts from `written`, when WriteNow wrote the request.
  ExchangeOutcome ReadAnswer(const std::string& request, std::string& response,
                             std::chrono::steady_clock::time_point written);

  // The request channel's connection number and a duplicate of the connection, for an
  // event loop to watch (see IPCInterface); the caller holds the turn.
  uint64_t Connection() const;
  bool PeerMayRunElsewhere() const;
  intptr_t DuplicateConnection();

  bool IsInitialized() const { return initialized.load(std::memory_order_acquire); }
  std::string GetPluginId() const;
  uint32_t GetTimeout() const { return handler.GetTimeout(); }
  void SetTimeout(uint32_t timeoutMs) { handler.SetTimeout(timeoutMs); }

 private:
  ExchangeOutcome Failure() const;

  std::atomic<bool> initialized{false};
  mutable std::mutex idLock;
  std::string pluginId;
  IPC::IPCHandler handler;
};

}  // namespace Hostlink
