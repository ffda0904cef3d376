// Proxy identifier allocation, lookup and removal.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "host/ObjectRegistry.h"

namespace {

using Host::HostObject;
using Host::ObjectRegistry;

std::shared_ptr<HostObject> MakeObject(const char* kind = "Thing") {
  return std::make_shared<HostObject>(kind);
}

TEST(ObjectRegistryTest, GivesIdentifiersFromOneAndKeepsThemPerObject) {
  ObjectRegistry registry;
  auto a = MakeObject();
  auto b = MakeObject();
  EXPECT_EQ(registry.Register(a), 1);
  EXPECT_EQ(registry.Register(b), 2);
  EXPECT_EQ(registry.Register(a), 1);
  EXPECT_EQ(a->GetProxyId(), 1);
  EXPECT_EQ(registry.Find(2), b);
  EXPECT_EQ(registry.Size(), 2u);
}

TEST(ObjectRegistryTest, FillsAnEmptyUniqueIdAndKeepsAGivenOne) {
  ObjectRegistry registry;
  auto generated = MakeObject("Shape");
  auto named = std::make_shared<HostObject>("Shape", "mine");
  registry.Register(generated);
  registry.Register(named);
  EXPECT_EQ(generated->GetUniqueId(), "Shape-1");
  EXPECT_EQ(named->GetUniqueId(), "mine");
}

TEST(ObjectRegistryTest, RemovedObjectsAreNotFoundAndTheirIdentifiersNotReusedAtOnce) {
  ObjectRegistry registry;
  auto a = MakeObject();
  const int64_t first = registry.Register(a);
  EXPECT_TRUE(registry.Unregister(first));
  EXPECT_FALSE(registry.Unregister(first));
  EXPECT_EQ(registry.Find(first), nullptr);
  EXPECT_EQ(a->GetProxyId(), 0);
  // Registered again, it gets a new identifier: the old one stays stale.
  const int64_t second = registry.Register(a);
  EXPECT_NE(second, first);
  EXPECT_EQ(registry.Find(first), nullptr);
}

TEST(ObjectRegistryTest, WrapsAroundAtTheLargestIdentifierSkippingThoseInUse) {
  ObjectRegistry registry(ObjectRegistry::kMaxProxyId - 1);
  auto a = MakeObject();
  auto b = MakeObject();
  EXPECT_EQ(registry.Register(a), ObjectRegistry::kMaxProxyId - 1);
  EXPECT_EQ(registry.Register(b), ObjectRegistry::kMaxProxyId);
  auto c = MakeObject();
  EXPECT_EQ(registry.Register(c), 1);
  registry.Unregister(ObjectRegistry::kMaxProxyId - 1);
  // The counter goes on from 2; the freed identifier waits for the next round.
  EXPECT_EQ(registry.Register(MakeObject()), 2);
}

TEST(ObjectRegistryTest, RefusesNullObjectsEmptyKindsAndObjectsOfAnotherRegistry) {
  ObjectRegistry registry;
  ObjectRegistry other;
  auto shared = MakeObject();
  EXPECT_EQ(registry.Register(nullptr), 0);
  EXPECT_EQ(registry.Register(std::make_shared<HostObject>("")), 0);
  EXPECT_EQ(other.Register(shared), 1);
  EXPECT_EQ(registry.Register(shared), 0);
  EXPECT_EQ(registry.Size(), 0u);
}

TEST(ObjectRegistryTest, ClearReleasesEveryObject) {
  ObjectRegistry registry;
  auto a = MakeObject();
  std::weak_ptr<HostObject> b = [&] {
    auto object = MakeObject();
    registry.Register(object);
    return std::weak_ptr<HostObject>(object);
  }();
  registry.Register(a);
  EXPECT_FALSE(b.expired());
  registry.Clear();
  EXPECT_TRUE(b.expired());
  EXPECT_EQ(a->GetProxyId(), 0);
  EXPECT_EQ(registry.Size(), 0u);
}

TEST(ObjectRegistryTest, AWeaklyHeldObjectIsGoneOnceTheApplicationDestroysIt) {
  ObjectRegistry registry;
  auto kept = MakeObject();
  auto owned = MakeObject();
  owned->SetHold(HostObject::Hold::Weak);
  registry.Register(kept);
  const int64_t id = registry.Register(owned);
  EXPECT_EQ(registry.Find(id), owned);
  owned.reset();
  EXPECT_EQ(registry.Find(id), nullptr);
  EXPECT_EQ(registry.Size(), 1u);
  // Many come and go: what is gone does not pile up between lookups.
  for (int i = 0; i < 10000; ++i) {
    auto temporary = MakeObject();
    temporary->SetHold(HostObject::Hold::Weak);
    registry.Register(temporary);
  }
  EXPECT_EQ(registry.Size(), 1u);
}

TEST(ObjectRegistryTest, ReleasesCountedAgainstHandOutsNeverDropAnObjectThePluginHolds) {
  ObjectRegistry registry;
  auto temp = MakeObject("Temp");
  temp->SetHold(HostObject::Hold::ReleasedByPlugin);
  const int64_t id = registry.HandOut(temp);
  temp.reset();  // only the registry holds it now
  // A second answer naming the object crosses the plug-in's release of the first.
  EXPECT_EQ(registry.HandOut(registry.Find(id)), id);
  EXPECT_TRUE(registry.Release(id, 1));
  ASSERT_NE(registry.Find(id), nullptr);
  EXPECT_TRUE(registry.Release(id, 1));
  EXPECT_EQ(registry.Find(id), nullptr);
  EXPECT_FALSE(registry.Release(id, 1));  // unknown by now: ignored

  // The same race many times over: the host hands the object out on one thread, the
  // plug-in receives the descriptions in order on another and releases what it received
  // every few; while it holds one, the object must be there.
  auto makeTemp = [] {
    auto made = MakeObject("Temp");
    made->SetHold(HostObject::Hold::ReleasedByPlugin);
    return made;
  };
  std::mutex lock;
  std::condition_variable sent;
  std::deque<int64_t> inFlight;
  bool done = false;
  std::atomic<int> lost{0};
  std::thread plugin([&] {
    uint64_t received = 0;
    for (int turn = 0;; ++turn) {
      std::unique_lock<std::mutex> guard(lock);
      sent.wait(guard, [&] { return done || !inFlight.empty(); });
      if (inFlight.empty()) {
        break;
      }
      const int64_t proxyId = inFlight.front();
      inFlight.pop_front();
      guard.unlock();
      ++received;
      if (registry.Find(proxyId) == nullptr) {
        ++lost;
      }
      if (turn % 3 == 0) {
        registry.Release(proxyId, received);
        received = 0;
      }
    }
  });
  // The host keeps no reference of its own between answers: only the registry holds it.
  std::shared_ptr<HostObject> current = makeTemp();
  for (int i = 0; i < 20000; ++i) {
    const int64_t proxyId = registry.HandOut(current);
    current.reset();
    {
      std::lock_guard<std::mutex> guard(lock);
      inFlight.push_back(proxyId);
    }
    sent.notify_one();
    current = registry.Find(proxyId);
    if (!current) {
      current = makeTemp();
    }
  }
  {
    std::lock_guard<std::mutex> guard(lock);
    done = true;
  }
  sent.notify_one();
  plugin.join();
  EXPECT_EQ(lost.load(), 0);
}

TEST(ObjectRegistryTest, TheEndOfTheConnectionDropsWhatWasHeldForThePluginOnly) {
  ObjectRegistry registry;
  auto strong = MakeObject();
  auto temp = MakeObject("Temp");
  temp->SetHold(HostObject::Hold::ReleasedByPlugin);
  const int64_t strongId = registry.HandOut(strong);
  const int64_t tempId = registry.HandOut(temp);
  temp.reset();
  registry.ForgetHandouts();
  EXPECT_EQ(registry.Find(strongId), strong);
  EXPECT_EQ(registry.Find(tempId), nullptr);
  EXPECT_TRUE(registry.Release(strongId, 5));  // a strong object stays whatever is released
  EXPECT_EQ(registry.Find(strongId), strong);
}

}  // namespace
