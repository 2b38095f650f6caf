// kelvrix.ini through the system's private-profile functions, and where the
// program keeps it when the Windows directory refuses writes.
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "link/config_file_win.h"
#include "model/wide_text_win.h"

namespace kelvrix {
namespace {

// A folder of the test's own under the temporary folder, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    path = std::wstring(base) + L"kelvrix-ini-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~TempFolder() {
    std::vector<wchar_t> from(path.begin(), path.end());
    from.insert(from.end(), {L'\0', L'\0'});
    SHFILEOPSTRUCTW remove{};
    remove.wFunc = FO_DELETE;
    remove.pFrom = from.data();
    remove.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    SHFileOperationW(&remove);
  }
  std::wstring path;
};

TEST(PrivateProfileFile, WritesAndReadsKeysOfTheSection) {
  TempFolder folder;
  PrivateProfileFile file(folder.path + L"\\kelvrix.ini");
  EXPECT_FALSE(file.Exists());
  EXPECT_TRUE(file.Write("com_port", "3"));
  EXPECT_TRUE(file.Write("p_port_number", "10001"));
  EXPECT_TRUE(file.Exists());
  EXPECT_EQ(file.Read("com_port", "0"), "3");
  EXPECT_EQ(file.Read("no_such_key", "7"), "7");
  wchar_t text[16] = {};
  GetPrivateProfileStringW(L"Kelvrix_Section", L"p_port_number", L"", text, 16, (folder.path + L"\\kelvrix.ini").c_str());
  EXPECT_STREQ(text, L"10001");
}

// Under Wine as root no permission stops a write; a folder standing in the
// file's place does, as the Windows directory does a standard user.
TEST(ConfigFiles, AFolderInTheSharedFilesPlaceSendsTheWritesToTheUsersFile) {
  TempFolder folder;
  const std::wstring shared = folder.path + L"\\windows\\kelvrix.ini";
  CreateDirectoryW((folder.path + L"\\windows").c_str(), nullptr);
  ASSERT_TRUE(CreateDirectoryW(shared.c_str(), nullptr));
  PrivateProfileFile sharedFile(shared);
  PrivateProfileFile personalFile(folder.path + L"\\user\\Kelvrix\\kelvrix.ini");
  CreateDirectoryW((folder.path + L"\\user").c_str(), nullptr);
  std::vector<std::string> warnings;
  ConfigFiles files(sharedFile, personalFile, [&](const std::string& text) { warnings.push_back(text); });
  EXPECT_FALSE(sharedFile.Write("com_port", "1")) << "the folder must refuse the write";
  EXPECT_TRUE(files.Write("com_port", "4"));
  EXPECT_TRUE(personalFile.Exists());
  EXPECT_EQ(files.Read("com_port", "0"), "4");
  EXPECT_TRUE(warnings.empty());
}

TEST(ConfigFiles, TheUsersFileStartsAsAWritableCopyOfAReadOnlyDeployedFile) {
  TempFolder folder;
  PrivateProfileFile shared(folder.path + L"\\kelvrix.ini");
  ASSERT_TRUE(shared.Write("list_count", "2"));
  SetFileAttributesW((folder.path + L"\\kelvrix.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  PrivateProfileFile personal(folder.path + L"\\Kelvrix\\kelvrix.ini");
  ASSERT_TRUE(personal.Start(shared));
  EXPECT_EQ(personal.Read("list_count", "0"), "2");
  EXPECT_TRUE(personal.Write("com_port", "6"));
  SetFileAttributesW((folder.path + L"\\kelvrix.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace kelvrix
