// The registry writes of the page's external object when the registry cannot be written:
// nothing is raised.
#include "shell/host_registry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "framework/core/registry.h"
#include "platform/registry/registry.h"
#include "testsupport/temp_home.h"

namespace {

TEST(HostRegistry, FailuresAreSwallowed) {
  kvtest::TempHome home;
  // A home below a plain file: the registry file can never be written.
  kvtest::WriteFile(home / "file", "x");
  setenv("KORVANE_HOME", (home / "file/home").c_str(), 1);
  KvRegistryReload();
  // The registry refuses the writes the functions make, and they swallow the error.
  EXPECT_THROW(TRegistryIniFile("Software\\Quabo").WriteInteger("print", "copies", 3), ERegistryException);
  EXPECT_NO_THROW(korvane::AddToTrustedSiteList("https://billing.example.cn/app"));
  EXPECT_NO_THROW(korvane::AddRegString("Software\\Quabo", "print", "printer", "p"));
  EXPECT_NO_THROW(korvane::AddRegInteger("Software\\Quabo", "print", "copies", 3));
  EXPECT_NO_THROW(korvane::AddRegFloat("Software\\Quabo", "print", "scale", 1.5));
  setenv("KORVANE_HOME", home.path().c_str(), 1);
  KvRegistryReload();
}

}  // namespace
