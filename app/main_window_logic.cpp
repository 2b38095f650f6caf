#include "app/main_window_logic.h"

#include <cstdio>

#include "resources/resource.h"

namespace kelvrix {

int MainWindowHeight(unsigned major, unsigned minor) {
  const bool lowerFrame = major == 4 || (major == 5 && minor != 1);
  return lowerFrame ? 90 : 104;
}

std::string_view MainWindowCaption(int32_t clientServerMode) {
  return clientServerMode == 1 ? "Kelvrix Server Program" : "Kelvrix Client Program";
}

std::string MainWindowTitle(int32_t clientServerMode, std::string_view currentFileName) {
  const std::string_view caption = MainWindowCaption(clientServerMode);
  const std::size_t slash = currentFileName.find_last_of("\\/");
  const std::string_view name = slash == std::string_view::npos ? currentFileName : currentFileName.substr(slash + 1);
  if (name.empty()) return std::string(caption);
  return std::string(name) + " - " + std::string(caption);
}

std::string StatusBarDate(int year, int month, int day, int weekday) {
  static constexpr std::string_view kWeekdays[] = {"日曜日", "月曜日", "火曜日", "水曜日",
                                                   "木曜日", "金曜日", "土曜日"};
  char date[64];
  std::snprintf(date, sizeof date, "%4d年%2d月%2d日  ", year, month, day);
  return std::string(date) + std::string(kWeekdays[weekday >= 0 && weekday < 7 ? weekday : 0]);
}

std::string StatusBarTime(int hour, int minute, int second) {
  char time[64];
  std::snprintf(time, sizeof time, "%02d：%02d：%02d", hour, minute, second);
  return time;
}

std::array<MenuItemState, 4> MenuEnabling(const LinkState& link) {
  const bool tcp = link.linkInterface == kSocketInterface;
  return {{
      {IDM_CLIENT_SERVER, tcp},
      {IDM_TCPIP, tcp},
      {IDM_SERIAL, !tcp},
      {IDM_SLAVE_ADDRESS, !tcp && link.rsControl == kRs485},
  }};
}

bool CountHiddenClick(int32_t& hiddenClickCount, uint16_t x, uint16_t y) {
  if (x >= 20 || y >= 20) {
    hiddenClickCount = 0;
    return false;
  }
  if (++hiddenClickCount < 10) return false;
  hiddenClickCount = 0;
  return true;
}

std::string_view ToolTipText(int command) {
  static constexpr std::string_view kTexts[TOOL_BUTTON_COUNT] = {
      "日付・時刻の設定",   "タイトルの設定",   "タイトル表示の設定", "オート・シーケンスの設定",
      "アラームの設定",     "アスペクト比の設定", "ビデオ調整の設定", "画面の設定",
      "その他の設定",       "画面配置の設定",   "ビデオロスの設定", "ビデオロスの履歴",
      "アラームの履歴"};
  const int index = command - IDT_DATE_TIME;
  return index >= 0 && index < TOOL_BUTTON_COUNT ? kTexts[index] : std::string_view{};
}

}  // namespace kelvrix
