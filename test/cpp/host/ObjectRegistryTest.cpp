// Proxy identifier allocation, lookup and removal.
#include <gtest/gtest.h>

#include <memory>

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

}  // namespace
