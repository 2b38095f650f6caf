// kelvrix_driver.exe: drives the running panel from outside for the
// end-to-end tests. It finds windows by class, posts commands, and reads and
// closes message boxes, printing what it saw as UTF-8 lines.
//
//   wait-window CLASS MS [CAPTION]
//                            print the caption of the first window of CLASS
//                            (and CAPTION, when given)
//   window-exists CLASS      exit 0 when a window of CLASS exists
//   geometry CLASS CAPTION   print the window's screen rectangle as WxH+X+Y
//   command CLASS ID         post WM_COMMAND ID to it
//   close CLASS              post WM_CLOSE to it
//   boxes COUNT MS           read and close COUNT message boxes, one after the
//                            other, printing "caption<TAB>text" for each; each is
//                            answered OK, or Yes where it has no OK
//   answer yes|no MS         answer the next question box so, printing
//                            "caption<TAB>text<TAB>owner's class"
//   dialog-choose ID INDEX   in the open setting dialog, select entry INDEX
//                            of combo box ID as the operator would
//   dialog-click ID          in the open setting dialog, press button ID
//   dialog-check ID          tick check box ID, also inside a page of the dialog
//   dialog-item ID           print "enabled<TAB>text<TAB>bar position" of control ID
//                            in the open setting dialog (enabled 1 or 0)
//   dialog-run ID DONE MS    press button ID, wait until control DONE is
//                            disabled and enabled again, print the milliseconds
//                            from the press to then
//   wait-gone CLASS CAPTION MS
//                            exit 0 once no window of CLASS and CAPTION is left
//   file-dialog CAPTION PATH MS
//                            type PATH into the file dialog of CAPTION and press OK
//   dialog-type ID TEXT      set the text of edit ID, as typing it would
//   dialog-pick ID INDEX     select entry INDEX of list box ID and double-click it
//                            (-1: a double-click that hits no entry)
//   dialog-address ID A.B.C.D
//                            put the address into IPv4 address field ID
//   dialog-list ID           print the entries of list box or combo box ID, one per line
//   dialog-rows ID [FIRST COUNT]
//                            print the rows of list view ID (or COUNT from row
//                            FIRST on), one per line:
//                            "checked<TAB>column 1<TAB>column 2 ..." (checked 1 or 0)
//   dialog-tick ID ROW 0|1   clear or tick the check box of row ROW of list view ID
//   dialog-activate ID ROW   double-click row ROW of list view ID
//   dialog-select ID ROW     select row ROW of list view ID
//   dialog-keys "KEY ..."     each key, pressed and let go, to the control that
//                            has the focus then: left right up down enter
//                            space tab esc, or a digit
//   dialog-mouse ID          click the middle of control ID with the mouse;
//                            print the time of day of the click (HH:MM:SS.mmm)
//   dialog-scroll ID ROW     scroll list view ID to show row ROW; print
//                            "top row<TAB>row count" after it
//   ping CLASS               print how long the window's thread took to answer (ms)
//   watch CLASS MS           for MS ms, ask the window's thread every 20 ms and
//                            count the message boxes open; print "longest answer
//                            (ms)<TAB>most boxes open at once"
//   process-stats CLASS      print "handles<TAB>working set KB<TAB>private KB" of
//                            the window's process
//   each-connection COUNT [STRIDE]
//                            for each of the server's first COUNT connections
//                            (or every STRIDE-th of them and the last):
//                            choose it in the TCP/IP dialog, send the brightness
//                            from the video dialog and print
//                            "position<TAB>caption<TAB>box text<TAB>place"
//   in CAPTION VERB ...      a dialog-* verb on the dialog of CAPTION rather than
//                            the open setting dialog (the link dialogs have no
//                            slave address box)
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>
#include <thread>

namespace {

using namespace std::chrono;

void Print(const std::wstring& text) {
  const std::wstring line = text + L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size, nullptr,
                      nullptr);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  GetWindowTextW(window, text, 1024);
  return text;
}

HWND WaitFor(const std::function<HWND()>& find, int milliseconds) {
  const auto end = steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    if (HWND window = find()) return window;
    if (steady_clock::now() >= end) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Every setting dialog holds the slave address box. A message box holds its
// text in a static of id 0xFFFF; the link dialogs' first control of that id
// is a group box.
constexpr int kSlaveAddressBox = 1015;

bool IsMessageBox(HWND window) {
  HWND text = GetDlgItem(window, 0xFFFF);
  wchar_t className[16] = {};
  if (text) GetClassNameW(text, className, 16);
  return GetDlgItem(window, kSlaveAddressBox) == nullptr && std::wstring(className) == L"Static";
}

HWND VisibleDialog(bool settingDialog) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
    if (!IsWindowVisible(window)) continue;
    if (settingDialog ? GetDlgItem(window, kSlaveAddressBox) != nullptr : IsMessageBox(window)) return window;
  }
  return nullptr;
}

HWND VisibleBox() { return VisibleDialog(false); }

// The dialog the dialog-* verbs act on: the open setting dialog, or the one
// named with "in CAPTION".
const wchar_t* targetCaption = nullptr;

// FindWindow sees a dialog as soon as it is made, before its controls are:
// it is there for the operator once it shows.
HWND VisibleWindow(const wchar_t* windowClass, const wchar_t* caption) {
  HWND window = FindWindowW(windowClass, caption);
  return window && IsWindowVisible(window) ? window : nullptr;
}

// A state, not a time: the bound only ends a wait for a dialog that never
// comes, and leaves a machine loaded by other Wine sessions room.
HWND TargetDialog() {
  return WaitFor([] { return targetCaption ? VisibleWindow(L"#32770", targetCaption) : VisibleDialog(true); }, 20000);
}

int DialogChoose(int comboId, int index) {
  HWND dialog = TargetDialog();
  HWND combo = dialog ? GetDlgItem(dialog, comboId) : nullptr;
  if (!combo || SendMessageW(combo, CB_SETCURSEL, index, 0) != index) return 1;
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  return 0;
}

// Posted: a press may raise a box, whose loop would hold a sent message.
int DialogClick(int buttonId) {
  HWND dialog = TargetDialog();
  HWND button = dialog ? GetDlgItem(dialog, buttonId) : nullptr;
  if (!button) return 1;
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(button)) ? 0 : 1;
}

// Ticks check box ID wherever it sits in the dialog, in a page of it too.
int DialogCheck(int id) {
  HWND dialog = TargetDialog();
  if (!dialog) return 1;
  struct Search {
    int id;
    HWND found;
  } search{id, nullptr};
  EnumChildWindows(
      dialog,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (!search.found) return 1;
  SendMessageW(search.found, BM_SETCHECK, BST_CHECKED, 0);
  return 0;
}

int DialogItem(int id) {
  HWND dialog = TargetDialog();
  HWND item = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!item) return 1;
  const LRESULT position = SendMessageW(item, PBM_GETPOS, 0, 0);
  // GetWindowText does not ask a control of another process for its text.
  wchar_t text[256] = {};
  SendMessageW(item, WM_GETTEXT, 256, reinterpret_cast<LPARAM>(text));
  Print(std::wstring(IsWindowEnabled(item) ? L"1" : L"0") + L"\t" + text + L"\t" + std::to_wstring(position));
  return 0;
}

int DialogKeys(const wchar_t* keys) {
  HWND dialog = TargetDialog();
  if (!dialog) return 1;
  static constexpr std::pair<const wchar_t*, UINT> kNames[] = {
      {L"left", VK_LEFT}, {L"right", VK_RIGHT}, {L"up", VK_UP},   {L"down", VK_DOWN},
      {L"enter", VK_RETURN}, {L"space", VK_SPACE}, {L"tab", VK_TAB}, {L"esc", VK_ESCAPE}};
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  std::wstring rest = keys;
  while (!rest.empty()) {
    const std::size_t end = rest.find(L' ');
    const std::wstring word = rest.substr(0, end);
    rest = end == std::wstring::npos ? L"" : rest.substr(end + 1);
    if (word.empty()) continue;
    UINT key = word.size() == 1 && word[0] >= L'0' && word[0] <= L'9' ? word[0] : 0;
    for (const auto& [name, code] : kNames) key = word == name ? code : key;
    GUITHREADINFO focus{};
    focus.cbSize = sizeof focus;
    if (key == 0 || !GetGUIThreadInfo(thread, &focus) || !focus.hwndFocus) return 1;
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(focus.hwndFocus, WM_KEYDOWN, key, scan | 1);
    PostMessageW(focus.hwndFocus, WM_KEYUP, key, scan | 1 | (LPARAM{3} << 30));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // the next key to the control focused by this one
  }
  return 0;
}

int DialogMouse(int id) {
  HWND dialog = TargetDialog();
  HWND item = dialog ? GetDlgItem(dialog, id) : nullptr;
  RECT place;
  if (!item || !GetWindowRect(item, &place)) return 1;
  SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
  INPUT clicks[2] = {};
  clicks[0].type = clicks[1].type = INPUT_MOUSE;
  clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SYSTEMTIME now;
  GetLocalTime(&now);
  if (SendInput(2, clicks, sizeof(INPUT)) != 2) return 1;
  wchar_t text[16];
  swprintf(text, 16, L"%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  Print(text);
  return 0;
}

// Timed here rather than by the test, whose every driver call costs a Wine start.
int DialogRun(int buttonId, int doneId, int milliseconds) {
  HWND dialog = TargetDialog();
  HWND done = dialog ? GetDlgItem(dialog, doneId) : nullptr;
  if (!done) return 1;
  const auto start = steady_clock::now();
  if (DialogClick(buttonId) != 0) return 1;
  auto poll = [done](bool enabled) -> HWND { return IsWindowEnabled(done) == (enabled ? TRUE : FALSE) ? done : nullptr; };
  const auto pause = std::chrono::milliseconds(1);
  const auto end = start + std::chrono::milliseconds(milliseconds);
  while (!poll(false) && steady_clock::now() < end) std::this_thread::sleep_for(pause);
  while (!poll(true) && steady_clock::now() < end) std::this_thread::sleep_for(pause);
  if (!poll(true)) return 1;
  Print(std::to_wstring(duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count()));
  return 0;
}

int DialogType(int id, const wchar_t* text) {
  HWND dialog = TargetDialog();
  HWND edit = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!edit) return 1;
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));  // the edit tells its dialog EN_CHANGE
  return 0;
}

// Posted: a double-click may raise a box.
int DialogPick(int id, int index) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list) return 1;
  const LRESULT selected = SendMessageW(list, LB_SETCURSEL, index, 0);
  if (index >= 0 && selected != index) return 1;
  return PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), reinterpret_cast<LPARAM>(list)) ? 0 : 1;
}

int DialogAddress(int id, const wchar_t* text) {
  HWND dialog = TargetDialog();
  HWND field = dialog ? GetDlgItem(dialog, id) : nullptr;
  unsigned a, b, c, d;
  if (!field || swscanf(text, L"%u.%u.%u.%u", &a, &b, &c, &d) != 4) return 1;
  SendMessageW(field, IPM_SETADDRESS, 0, MAKEIPADDRESS(a, b, c, d));
  return 0;
}

int DialogList(int id) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list) return 1;
  wchar_t className[16] = {};
  GetClassNameW(list, className, 16);
  const bool combo = std::wstring(className) == L"ComboBox";
  const LRESULT count = SendMessageW(list, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    SendMessageW(list, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    Print(text);
  }
  return 0;
}

// Memory in the process of a window, for the messages whose data a window
// of another process cannot take by pointer (the list view's).
class RemoteMemory {
 public:
  RemoteMemory(HWND window, std::size_t size) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (process_) address_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  }
  ~RemoteMemory() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    if (process_) CloseHandle(process_);
  }
  RemoteMemory(const RemoteMemory&) = delete;
  RemoteMemory& operator=(const RemoteMemory&) = delete;

  char* address() const { return address_; }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(process_, address_ + offset, data, size, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t size) const {
    ReadProcessMemory(process_, address_ + offset, data, size, nullptr);
  }

 private:
  HANDLE process_ = nullptr;
  char* address_ = nullptr;
};

int DialogRows(int id, int first, int count) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list) return 1;
  constexpr int kTextSize = 512;
  const RemoteMemory remote(list, sizeof(LVITEMW) + kTextSize * sizeof(wchar_t));
  if (!remote.address()) return 1;
  const int columns = static_cast<int>(SendMessageW(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)),
                                                    HDM_GETITEMCOUNT, 0, 0));
  const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = first; row < rows && row < first + count; ++row) {
    const LRESULT state = SendMessageW(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
    std::wstring line = (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2) ? L"1" : L"0";
    for (int column = 0; column < columns; ++column) {
      LVITEMW item{};
      item.iSubItem = column;
      item.pszText = reinterpret_cast<wchar_t*>(remote.address() + sizeof(LVITEMW));
      item.cchTextMax = kTextSize;
      wchar_t text[kTextSize] = {};
      remote.Write(0, &item, sizeof item);
      SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.address()));
      remote.Read(sizeof(LVITEMW), text, sizeof text - sizeof(wchar_t));
      line += L"\t";
      line += text;
    }
    Print(line);
  }
  return 0;
}

int DialogScroll(int id, int row) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list || !SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE)) return 1;
  Print(std::to_wstring(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)) + L"\t" +
        std::to_wstring(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)));
  return 0;
}

// A double-click in the middle of the row, as the mouse gives it to the list.
// Ticks or clears the check box of a list row, as a click on it would.
// Sets the state bits `mask` of row ROW of list view ID to `state`.
int DialogRowState(int id, int row, UINT mask, UINT state) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list || row >= SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return 1;
  const RemoteMemory remote(list, sizeof(LVITEMW));
  if (!remote.address()) return 1;
  LVITEMW item{};
  item.stateMask = mask;
  item.state = state;
  remote.Write(0, &item, sizeof item);
  return SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(remote.address())) ? 0 : 1;
}

int DialogTick(int id, int row, bool on) {
  return DialogRowState(id, row, LVIS_STATEIMAGEMASK, INDEXTOSTATEIMAGEMASK(on ? 2 : 1));
}

int DialogActivate(int id, int row) {
  HWND dialog = TargetDialog();
  HWND list = dialog ? GetDlgItem(dialog, id) : nullptr;
  if (!list || row >= SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) return 1;
  const RemoteMemory remote(list, sizeof(RECT));
  if (!remote.address()) return 1;
  RECT bounds{LVIR_LABEL, 0, 0, 0};
  remote.Write(0, &bounds, sizeof bounds);
  if (!SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(remote.address()))) return 1;
  remote.Read(0, &bounds, sizeof bounds);
  const LPARAM point = MAKELPARAM((bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2);
  return PostMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point) && PostMessageW(list, WM_LBUTTONUP, 0, point) ? 0 : 1;
}

// The system's file dialogs hold their file name in a combo box (Explorer
// style) or an edit (the older style).
int FileDialog(const wchar_t* caption, const wchar_t* path, int milliseconds) {
  HWND dialog = WaitFor([caption] { return FindWindowW(L"#32770", caption); }, milliseconds);
  if (!dialog) return 1;
  HWND name = GetDlgItem(dialog, 0x47C);
  if (!name) name = GetDlgItem(dialog, 0x480);
  if (!name || !SetWindowTextW(name, path)) return 1;
  return PostMessageW(dialog, WM_COMMAND, IDOK, 0) ? 0 : 1;
}

int Boxes(int count, int milliseconds) {
  for (int seen = 0; seen < count; ++seen) {
    HWND box = WaitFor(VisibleBox, milliseconds);
    if (!box) return 1;
    wchar_t text[1024] = {};
    GetDlgItemTextW(box, 0xFFFF, text, 1024);
    Print(TextOf(box) + L"\t" + text);
    PostMessageW(box, WM_COMMAND, GetDlgItem(box, IDOK) ? IDOK : IDYES, 0);
    WaitFor([box]() -> HWND { return IsWindow(box) && IsWindowVisible(box) ? nullptr : box; }, 5000);
  }
  return 0;
}

int Answer(const std::wstring& answer, int milliseconds) {
  if (answer != L"yes" && answer != L"no") return 2;
  HWND box = WaitFor(VisibleBox, milliseconds);
  if (!box || !GetDlgItem(box, IDYES)) return 1;
  wchar_t text[1024] = {}, owner[256] = {};
  GetDlgItemTextW(box, 0xFFFF, text, 1024);
  GetClassNameW(GetWindow(box, GW_OWNER), owner, 256);
  Print(TextOf(box) + L"\t" + text + L"\t" + owner);
  PostMessageW(box, WM_COMMAND, answer == L"yes" ? IDYES : IDNO, 0);
  return 0;
}

int Ping(HWND window) {
  const auto start = steady_clock::now();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result)) return 1;
  Print(std::to_wstring(duration_cast<milliseconds>(steady_clock::now() - start).count()));
  return 0;
}

// The longest the GUI thread took to answer, and the most boxes it had open
// at once, over a while of hostile traffic.
int Watch(HWND window, int milliseconds) {
  const auto end = steady_clock::now() + std::chrono::milliseconds(milliseconds);
  long long longest = 0;
  int mostBoxes = 0;
  while (steady_clock::now() < end) {
    const auto start = steady_clock::now();
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result)) return 1;
    longest = std::max<long long>(longest, duration_cast<std::chrono::milliseconds>(steady_clock::now() - start).count());
    int boxes = 0;
    for (HWND box = nullptr; (box = FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
      if (IsWindowVisible(box) && IsMessageBox(box)) ++boxes;
    }
    mostBoxes = std::max(mostBoxes, boxes);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Print(std::to_wstring(longest) + L"\t" + std::to_wstring(mostBoxes));
  return 0;
}

int ProcessStats(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!process) return 1;
  DWORD handles = 0;
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  const bool ok = GetProcessHandleCount(process, &handles) &&
                  GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  CloseHandle(process);
  if (!ok) return 1;
  Print(std::to_wstring(handles) + L"\t" + std::to_wstring(memory.WorkingSetSize / 1024) + L"\t" +
        std::to_wstring(memory.PrivateUsage / 1024));
  return 0;
}

// Ids of resources/resource.h that each-connection uses.
constexpr int kTcpIpMenu = 32777, kVideoAdjustMenu = 32784, kClientList = 1147, kTransmissionPlace = 1148,
              kSendBrightness = 1082, kClose = 2;

int EachConnection(HWND mainWindow, int count, int stride) {
  std::vector<int> positions;  // 0, stride, 2 stride, ... and the last
  for (int position = 0; position < count; position += stride) positions.push_back(position);
  if (count > 0 && positions.back() != count - 1) positions.push_back(count - 1);
  for (const int position : positions) {
    PostMessageW(mainWindow, WM_COMMAND, kTcpIpMenu, 0);
    HWND server = WaitFor([] { return VisibleWindow(L"#32770", L"TCP/IPの設定（Server）"); }, 5000);
    HWND list = server ? GetDlgItem(server, kClientList) : nullptr;
    if (!list) return 1;
    if (SendMessageW(list, LB_SETCURSEL, position, 0) != position) {  // not that many units
      PostMessageW(server, WM_COMMAND, kClose, 0);
      return 1;
    }
    SendMessageW(server, WM_COMMAND, MAKEWPARAM(kClientList, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    wchar_t place[32] = {};
    SendDlgItemMessageW(server, kTransmissionPlace, WM_GETTEXT, 32, reinterpret_cast<LPARAM>(place));
    PostMessageW(server, WM_COMMAND, kClose, 0);
    WaitFor([server]() -> HWND { return IsWindow(server) ? nullptr : server; }, 5000);
    PostMessageW(mainWindow, WM_COMMAND, kVideoAdjustMenu, 0);
    HWND video = WaitFor([] { return VisibleDialog(true); }, 5000);
    if (!video) return 1;
    const std::wstring caption = TextOf(video);
    PostMessageW(video, WM_COMMAND, MAKEWPARAM(kSendBrightness, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(video, kSendBrightness)));
    HWND box = WaitFor(VisibleBox, 5000);
    wchar_t text[256] = {};
    if (box) GetDlgItemTextW(box, 0xFFFF, text, 256);
    Print(std::to_wstring(position) + L"\t" + caption + L"\t" + text + L"\t" + place);
    if (box) {
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      WaitFor([box]() -> HWND { return IsWindow(box) && IsWindowVisible(box) ? nullptr : box; }, 5000);
    }
    PostMessageW(video, WM_COMMAND, MAKEWPARAM(kClose, BN_CLICKED), 0);
    WaitFor([video]() -> HWND { return IsWindow(video) ? nullptr : video; }, 5000);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 3 && std::wstring(argv[1]) == L"in") {
    targetCaption = argv[2];
    argc -= 2;
    argv += 2;
  }
  if (argc < 3) return 2;
  const std::wstring verb = argv[1];
  const wchar_t* windowClass = argv[2];
  auto find = [windowClass] { return FindWindowW(windowClass, nullptr); };

  if (verb == L"boxes" && argc == 4) return Boxes(_wtoi(argv[2]), _wtoi(argv[3]));
  if (verb == L"answer" && argc == 4) return Answer(argv[2], _wtoi(argv[3]));
  if (verb == L"dialog-choose" && argc == 4) return DialogChoose(_wtoi(argv[2]), _wtoi(argv[3]));
  if (verb == L"dialog-click" && argc == 3) return DialogClick(_wtoi(argv[2]));
  if (verb == L"dialog-item" && argc == 3) return DialogItem(_wtoi(argv[2]));
  if (verb == L"dialog-keys" && argc == 3) return DialogKeys(argv[2]);
  if (verb == L"dialog-mouse" && argc == 3) return DialogMouse(_wtoi(argv[2]));
  if (verb == L"dialog-check" && argc == 3) return DialogCheck(_wtoi(argv[2]));
  if (verb == L"dialog-run" && argc == 5) return DialogRun(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
  if (verb == L"dialog-type" && argc == 4) return DialogType(_wtoi(argv[2]), argv[3]);
  if (verb == L"dialog-pick" && argc == 4) return DialogPick(_wtoi(argv[2]), _wtoi(argv[3]));
  if (verb == L"dialog-address" && argc == 4) return DialogAddress(_wtoi(argv[2]), argv[3]);
  if (verb == L"dialog-list" && argc == 3) return DialogList(_wtoi(argv[2]));
  if (verb == L"dialog-rows" && argc == 3) return DialogRows(_wtoi(argv[2]), 0, INT_MAX);
  if (verb == L"dialog-rows" && argc == 5) return DialogRows(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]));
  if (verb == L"dialog-tick" && argc == 5) return DialogTick(_wtoi(argv[2]), _wtoi(argv[3]), _wtoi(argv[4]) != 0);
  if (verb == L"dialog-activate" && argc == 4) return DialogActivate(_wtoi(argv[2]), _wtoi(argv[3]));
  if (verb == L"dialog-select" && argc == 4) {
    return DialogRowState(_wtoi(argv[2]), _wtoi(argv[3]), LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  if (verb == L"dialog-scroll" && argc == 4) return DialogScroll(_wtoi(argv[2]), _wtoi(argv[3]));
  if (verb == L"each-connection" && (argc == 3 || argc == 4)) {
    HWND mainWindow = FindWindowW(L"Kelvrix TCP Server", nullptr);
    const int stride = argc == 4 ? std::max(1, _wtoi(argv[3])) : 1;
    return mainWindow ? EachConnection(mainWindow, _wtoi(argv[2]), stride) : 1;
  }
  if (verb == L"file-dialog" && argc == 5) return FileDialog(argv[2], argv[3], _wtoi(argv[4]));
  if (verb == L"wait-gone" && argc == 5) {
    const wchar_t* caption = argv[3];
    const HWND gone = reinterpret_cast<HWND>(1);  // any handle but null ends the wait
    return WaitFor([=] { return FindWindowW(windowClass, caption) ? nullptr : gone; }, _wtoi(argv[4])) ? 0 : 1;
  }
  if (verb == L"wait-window" && (argc == 4 || argc == 5)) {
    const wchar_t* caption = argc == 5 ? argv[4] : nullptr;
    HWND window = WaitFor([=] { return VisibleWindow(windowClass, caption); }, _wtoi(argv[3]));
    if (!window) return 1;
    Print(TextOf(window));
    return 0;
  }
  if (verb == L"window-exists") return find() ? 0 : 1;
  if (verb == L"geometry" && argc == 4) {
    RECT r;
    HWND window = FindWindowW(windowClass, argv[3]);
    if (!window || !GetWindowRect(window, &r)) return 1;
    Print(std::to_wstring(r.right - r.left) + L"x" + std::to_wstring(r.bottom - r.top) + L"+" +
          std::to_wstring(r.left) + L"+" + std::to_wstring(r.top));
    return 0;
  }
  HWND window = find();
  if (!window) return 1;
  if (verb == L"command" && argc == 4) return PostMessageW(window, WM_COMMAND, _wtoi(argv[3]), 0) ? 0 : 1;
  if (verb == L"close") return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : 1;
  if (verb == L"ping") return Ping(window);
  if (verb == L"watch" && argc == 4) return Watch(window, _wtoi(argv[3]));
  if (verb == L"process-stats") return ProcessStats(window);
  return 2;
}
