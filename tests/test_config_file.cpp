// kelvrix.ini: start-up reads, defaults, bad values, and the order of writes.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "link/config_file.h"
#include "model/window_place.h"

namespace kelvrix {
namespace {

class MemoryStore : public ProfileStore {
 public:
  std::string Read(std::string_view key, std::string_view defaultText) override {
    reads.emplace_back(key);
    auto it = keys.find(std::string(key));
    return it == keys.end() ? std::string(defaultText) : it->second;
  }
  bool Write(std::string_view key, std::string_view value) override {
    writes.push_back(std::string(key) + "=" + std::string(value));
    keys[std::string(key)] = value;
    return true;
  }
  std::map<std::string, std::string> keys;
  std::vector<std::string> reads;
  std::vector<std::string> writes;
};

struct Loaded {
  LinkState link;
  DeviceSettings settings{};
};

void Load(MemoryStore& store, Loaded& loaded) {
  ResetSettingsToDefaults(loaded.settings);
  ReadHostListKeys(store, loaded.link);
  ReadConfigFile(store, loaded.link, loaded.settings);
}

TEST(ConfigFile, MissingFileGivesTheDefaults) {
  MemoryStore store;
  Loaded loaded;
  loaded.link.comPort = 3;
  Load(store, loaded);
  EXPECT_EQ(loaded.link.clientServerMode, 0);
  EXPECT_EQ(loaded.link.linkInterface, 0);
  EXPECT_EQ(loaded.link.comPort, 0) << "past COM256";
  EXPECT_EQ(loaded.link.rsControl, 0);
  EXPECT_TRUE(loaded.link.hostList.empty());
  EXPECT_STREQ(loaded.settings.portNumber, "09004");
  EXPECT_EQ(store.reads, (std::vector<std::string>{"ClientServer", "select_number", "list_count",
                                                   "com_port", "rs_control", "Interface",
                                                   "p_port_number"}));
}

TEST(ConfigFile, ReadsEveryKeyAndOnlyListCountHosts) {
  MemoryStore store;
  store.keys = {{"ClientServer", "1"}, {"select_number", "1"}, {"list_count", "2"},
                {"ip00_0", "192"},     {"ip00_1", "168"},      {"ip00_2", "1"},
                {"ip00_3", "3"},       {"ip01_0", "10"},       {"ip01_1", "0"},
                {"ip01_2", "0"},       {"ip01_3", "254"},      {"ip02_0", "172"},
                {"com_port", "5"},     {"rs_control", "1"},    {"Interface", "1"},
                {"p_port_number", "10001"}};
  Loaded loaded;
  Load(store, loaded);
  EXPECT_EQ(loaded.link.clientServerMode, 1);
  EXPECT_EQ(loaded.link.selectedConnection, 1);
  EXPECT_EQ(loaded.link.hostList, (std::vector<Ipv4Address>{{192, 168, 1, 3}, {10, 0, 0, 254}}));
  EXPECT_EQ(loaded.link.comPort, 5);
  EXPECT_EQ(loaded.link.rsControl, 1);
  EXPECT_EQ(loaded.link.linkInterface, 1);
  EXPECT_STREQ(loaded.settings.portNumber, "10001");
}

TEST(ConfigFile, ValuesTheProgramCannotUseFallBackToDefaults) {
  MemoryStore store;
  store.keys = {{"ClientServer", "7"}, {"select_number", "5"}, {"list_count", "250"},
                {"ip00_0", "300"},     {"ip00_1", "12abc"},    {"com_port", "256"},
                {"rs_control", "-1"},  {"Interface", "x"},     {"p_port_number", "123456789"}};
  Loaded loaded;
  Load(store, loaded);
  EXPECT_EQ(loaded.link.clientServerMode, 0);
  EXPECT_TRUE(loaded.link.hostList.empty());  // 250 hosts cannot be keyed
  EXPECT_EQ(loaded.link.selectedConnection, -1);  // no host to choose
  EXPECT_EQ(loaded.link.comPort, 0) << "past COM256";
  EXPECT_EQ(loaded.link.rsControl, 0);
  EXPECT_EQ(loaded.link.linkInterface, 0);
  EXPECT_STREQ(loaded.settings.portNumber, "12345");  // the 6-character read buffer

  store.keys = {{"list_count", "1"}, {"ip00_0", "300"}, {"ip00_1", "12abc"}, {"select_number", "3"}};
  Load(store, loaded);
  EXPECT_EQ(loaded.link.hostList, (std::vector<Ipv4Address>{{0, 12, 0, 0}}));
  EXPECT_EQ(loaded.link.selectedConnection, -1);  // beyond the list: none, not host 0

  for (const char* none : {"-1", "x", "100"}) {
    store.keys["select_number"] = none;
    Load(store, loaded);
    EXPECT_EQ(loaded.link.selectedConnection, -1) << none;
  }
}

TEST(ConfigFile, ProfileIntegerTakesLeadingDigits) {
  EXPECT_EQ(ProfileInteger("42"), 42);
  EXPECT_EQ(ProfileInteger("7x"), 7);
  EXPECT_EQ(ProfileInteger(""), 0);
  EXPECT_EQ(ProfileInteger("-3"), 0);
  EXPECT_EQ(ProfileInteger("99999999999999"), 999999999);  // never overflows
}

TEST(ConfigFile, SingleValueWrites) {
  MemoryStore store;
  LinkState link;
  DeviceSettings settings{};
  ResetSettingsToDefaults(settings);
  link.clientServerMode = 1;
  link.selectedConnection = 12;
  link.comPort = 5;
  link.rsControl = 1;
  link.linkInterface = 1;
  CopyText(settings.portNumber, "00080");
  WriteClientServer(store, link);
  WriteSelectedConnection(store, link);
  WriteComPort(store, link);
  WriteRsControl(store, link);
  WriteInterface(store, link);
  WritePortNumber(store, settings);
  EXPECT_EQ(store.writes, (std::vector<std::string>{"ClientServer=1", "select_number=12", "com_port=5",
                                                    "rs_control=1", "Interface=1", "p_port_number=00080"}));
}

TEST(ConfigFile, AddingAHostWritesTheCountFirst) {
  MemoryStore store;
  LinkState link;
  ASSERT_TRUE(AddHost(store, link, {192, 168, 1, 3}));
  EXPECT_EQ(store.writes, (std::vector<std::string>{"list_count=1", "ip00_0=192", "ip00_1=168",
                                                    "ip00_2=1", "ip00_3=3"}));
}

TEST(ConfigFile, DeletingAHostMovesTheRestUpAndLeavesTheOldLastKeys) {
  MemoryStore store;
  LinkState link;
  AddHost(store, link, {10, 0, 0, 1});
  AddHost(store, link, {10, 0, 0, 2});
  AddHost(store, link, {10, 0, 0, 3});
  store.writes.clear();
  ASSERT_TRUE(DeleteHost(store, link, 0));
  EXPECT_EQ(store.writes, (std::vector<std::string>{"list_count=2", "ip00_0=10", "ip00_1=0", "ip00_2=0",
                                                    "ip00_3=2", "ip01_0=10", "ip01_1=0", "ip01_2=0",
                                                    "ip01_3=3", "select_number=-1"}));  // host 0 was the chosen one
  EXPECT_EQ(store.keys["ip02_3"], "3");  // beyond list_count, never read

  Loaded loaded;
  Load(store, loaded);
  EXPECT_EQ(loaded.link.hostList, (std::vector<Ipv4Address>{{10, 0, 0, 2}, {10, 0, 0, 3}}));
  EXPECT_EQ(loaded.link.selectedConnection, -1);
  EXPECT_FALSE(DeleteHost(store, link, 2));
  EXPECT_FALSE(DeleteHost(store, link, -1));
}

// Hosts A, B, C: the choice stays with its host, so 接続 reaches the unit chosen.
TEST(ConfigFile, TheChoiceFollowsItsHostWhenAHostIsDeleted) {
  struct Case {
    int chosen, deleted, chosenAfter;
    const char* written;  // select_number, if written
  };
  for (const Case& c : {Case{1, 0, 0, "0"}, Case{1, 1, -1, "-1"}, Case{1, 2, 1, nullptr}, Case{-1, 0, -1, nullptr}}) {
    MemoryStore store;
    LinkState link;
    for (uint8_t host = 1; host <= 3; ++host) AddHost(store, link, {10, 0, 0, host});
    link.selectedConnection = c.chosen;
    store.keys.erase("select_number");
    ASSERT_TRUE(DeleteHost(store, link, c.deleted));
    EXPECT_EQ(link.selectedConnection, c.chosenAfter) << c.chosen << " " << c.deleted;
    const auto written = store.keys.find("select_number");
    EXPECT_EQ(written == store.keys.end() ? "" : written->second, c.written ? c.written : "");
  }
}

TEST(ConfigFile, TheListHoldsAHundredHosts) {
  MemoryStore store;
  LinkState link;
  for (int i = 0; i < kMaxHosts; ++i) ASSERT_TRUE(AddHost(store, link, {10, 0, 0, static_cast<uint8_t>(i)}));
  EXPECT_EQ(store.keys["ip99_3"], "99");
  EXPECT_FALSE(AddHost(store, link, {10, 0, 1, 0}));
  EXPECT_EQ(store.keys["list_count"], "100");
}

}  // namespace
}  // namespace kelvrix

namespace kelvrix {
namespace {

// A kelvrix.ini in a place that may refuse writes.
class MemoryFile : public ProfileFile {
 public:
  MemoryFile(std::string path, bool writable) : path_(std::move(path)), writable_(writable) {}
  std::string Read(std::string_view key, std::string_view defaultText) override {
    auto it = keys.find(std::string(key));
    return it == keys.end() ? std::string(defaultText) : it->second;
  }
  bool Write(std::string_view key, std::string_view value) override {
    if (!writable_) return false;
    exists = true;
    keys[std::string(key)] = value;
    return true;
  }
  bool Exists() override { return exists; }
  std::string Path() override { return path_; }
  bool Start(ProfileFile& source) override {
    if (!writable_) return false;
    exists = true;
    keys = dynamic_cast<MemoryFile&>(source).keys;
    return true;
  }
  std::map<std::string, std::string> keys;
  bool exists = false;

 private:
  std::string path_;
  bool writable_;
};

struct Files {
  MemoryFile shared{"C:\\Windows\\kelvrix.ini", true};
  MemoryFile personal{"C:\\Users\\op\\AppData\\Roaming\\Kelvrix\\kelvrix.ini", true};
  std::vector<std::string> warnings;
  ConfigFiles Open() {
    return ConfigFiles(shared, personal, [this](const std::string& text) { warnings.push_back(text); });
  }
};

TEST(ConfigFiles, TheWindowsDirectoryFileServesWhileItTakesWrites) {
  Files f;
  f.shared.exists = true;
  f.shared.keys["com_port"] = "2";
  ConfigFiles files = f.Open();
  EXPECT_EQ(files.Read("com_port", "0"), "2");
  EXPECT_TRUE(files.Write("rs_control", "1"));
  EXPECT_EQ(f.shared.keys["rs_control"], "1");
  EXPECT_FALSE(f.personal.exists);
}

TEST(ConfigFiles, ARefusedWriteMovesTheConfigurationToTheUsersOwnFileForGood) {
  Files f;
  f.shared = MemoryFile("C:\\Windows\\kelvrix.ini", false);
  f.shared.exists = true;
  f.shared.keys = {{"com_port", "2"}, {"list_count", "1"}};
  {
    ConfigFiles files = f.Open();
    EXPECT_TRUE(files.Write("rs_control", "1"));
    EXPECT_EQ(f.personal.keys, (std::map<std::string, std::string>{{"com_port", "2"}, {"list_count", "1"},
                                                                    {"rs_control", "1"}}))
        << "started as the deployed file's copy";
    EXPECT_TRUE(files.Write("com_port", "4"));
  }
  ConfigFiles restarted = f.Open();
  EXPECT_EQ(restarted.Read("com_port", "0"), "4") << "the user's file is read first from then on";
  EXPECT_EQ(f.shared.keys["com_port"], "2");
  EXPECT_TRUE(f.warnings.empty());
}

TEST(ConfigFiles, NoPlaceToWriteIsSaidOnce) {
  Files f;
  f.shared = MemoryFile("C:\\Windows\\kelvrix.ini", false);
  f.personal = MemoryFile("Z:\\kelvrix.ini", false);
  ConfigFiles files = f.Open();
  EXPECT_FALSE(files.Write("com_port", "1"));
  EXPECT_FALSE(files.Write("rs_control", "1"));
  EXPECT_EQ(f.warnings, (std::vector<std::string>{"設定を保存できません: Z:\\kelvrix.ini"}));
  EXPECT_EQ(files.Read("com_port", "0"), "0");
}

// A window's place from the file the user may have edited: four numbers in
// bounds, or nothing.
TEST(WindowPlace, FourNumbersInBoundsOrNothing) {
  const struct {
    const char* text;
    std::optional<WindowPlace> place;
  } cases[] = {
      {"100,-20,640,480", WindowPlace{100, -20, 640, 480}},
      {"100,20,640", std::nullopt},
      {"100,20,640,480,5", std::nullopt},
      {"100,20,640,480 ", std::nullopt},
      {"100,20,10,480", std::nullopt},
      {"100,20,640,99999999999", std::nullopt},
      {"a,b,c,d", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseWindowPlace(c.text), c.place) << c.text;
    if (c.place) {
      EXPECT_EQ(WindowPlaceText(*c.place), c.text);
    }
  }
}

}  // namespace
}  // namespace kelvrix
