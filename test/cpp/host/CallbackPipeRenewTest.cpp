// The host's callback pipe, renewed for each plug-in that registers a first callback, on both
// platforms: its name never goes free meanwhile, so no other process can slip in and take
// the next plug-in's callbacks, and the next plug-in gets in.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "host/CallbackPipe.h"
#include "transport/ChannelTestKit.h"
#include "transport/NamedPipe.h"

namespace {

using namespace ChannelTestKit;

// Whether no pipe of the name exists at this moment, as a process that waits to take the
// name sees it. Windows: no instance at all (Wine lets anyone add an instance, so taking
// the name cannot show it there); Linux: the address can be bound.
bool NameIsFree(const std::string& name) {
#ifdef _WIN32
  return !WaitNamedPipeA(PipePath(name).c_str(), 1) && GetLastError() == ERROR_FILE_NOT_FOUND;
#else
  return TakeNameBriefly(name);
#endif
}

TEST(CallbackPipeRenew, RenewingNeverLeavesTheNameFree) {
  const std::string name = UniqueName("renew") + "_callback";
  Host::CallbackPipe pipe(name);
  ASSERT_TRUE(pipe.Open());
  ASSERT_FALSE(NameIsFree(name));
  std::atomic<bool> done{false};
  std::atomic<int> seenFree{0};
  std::thread watcher([&] {
    while (!done) {
      if (NameIsFree(name)) ++seenFree;
    }
  });
  for (int turn = 0; turn < 300; ++turn) pipe.ExpectNewClient();
  done = true;
  watcher.join();
  EXPECT_EQ(seenFree, 0);

  // The plug-in that comes next is served.
  IPC::NamedPipe plugIn(name, IPC::ClientCallback);
  ASSERT_TRUE(plugIn.Open(300));
  ASSERT_TRUE(pipe.Queue("after the renewals"));
  std::string message;
  ASSERT_TRUE(plugIn.Read(message, 5000));
  EXPECT_EQ(message, "after the renewals");
}

}  // namespace
