// kelvrix.ini through the system's private-profile functions.
#include <gtest/gtest.h>

#include <windows.h>

#include "model/config_file_win.h"

namespace kelvrix {
namespace {

TEST(PrivateProfileStore, WritesAndReadsKeysOfTheSection) {
  PrivateProfileStore store;
  store.Write("com_port", "3");
  store.Write("p_port_number", "10001");
  EXPECT_EQ(store.Read("com_port", "0"), "3");
  EXPECT_EQ(store.Read("p_port_number", "09004"), "10001");
  EXPECT_EQ(store.Read("no_such_key", "7"), "7");

  wchar_t text[16] = {};
  GetPrivateProfileStringW(L"Kelvrix_Section", L"com_port", L"", text, 16, L"kelvrix.ini");
  EXPECT_STREQ(text, L"3");
  WritePrivateProfileStringW(L"Kelvrix_Section", nullptr, nullptr, L"kelvrix.ini");  // leave no trace
}

}  // namespace
}  // namespace kelvrix
