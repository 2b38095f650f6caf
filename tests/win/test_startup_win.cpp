// The single-instance guard.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/startup_win.h"

namespace kelvrix {
namespace {

TEST(SingleInstance, AMutexHeldAlreadyOrWithOtherRightsIsAnotherCopy) {
  const std::wstring name = L"Kelvrix test mutex " + std::to_wstring(GetCurrentProcessId());
  EXPECT_FALSE(app::AnotherCopyRuns(name.c_str()));
  EXPECT_TRUE(app::AnotherCopyRuns(name.c_str()));

  // Held with a DACL that grants nothing, as an elevated copy's mutex is to
  // a standard user's copy: opening it is refused.
  SECURITY_DESCRIPTOR descriptor;
  ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
  ACL empty;
  ASSERT_TRUE(InitializeAcl(&empty, sizeof empty, ACL_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &empty, FALSE));
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  const std::wstring guarded = name + L" guarded";
  HANDLE held = CreateMutexW(&attributes, FALSE, guarded.c_str());
  ASSERT_NE(held, nullptr);
  ASSERT_EQ(CreateMutexW(nullptr, FALSE, guarded.c_str()), nullptr) << "opening must be refused";
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(app::AnotherCopyRuns(guarded.c_str()));
  CloseHandle(held);
}

}  // namespace
}  // namespace kelvrix
