#include "dialogs/link_dialogs_win.h"

#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "dialogs/dialog_frame_win.h"
#include "link/serial_port_win.h"
#include "link/serial_ports.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

constexpr const wchar_t* kContextProperty = L"KelvrixLinkContext";

LinkDialogContext& ContextOf(HWND dialog) {
  return *static_cast<LinkDialogContext*>(GetPropW(dialog, kContextProperty));
}
bool HasContext(HWND dialog) { return GetPropW(dialog, kContextProperty) != nullptr; }

void Enable(HWND dialog, int id, bool enabled) { EnableWindow(GetDlgItem(dialog, id), enabled); }

// What every link dialog does on opening and on its end.
LinkDialogContext& Open(HWND dialog, LPARAM initParam) {
  SetPropW(dialog, kContextProperty, reinterpret_cast<HANDLE>(initParam));
  replyWindow = dialog;
  SharedDialogState().hiddenClickCount = 0;
  return ContextOf(dialog);
}

void End(HWND dialog) {
  if (replyWindow == dialog) replyWindow = nullptr;
  RemovePropW(dialog, kContextProperty);
}

// --- The three choices ----------------------------------------------------------

struct Choice {
  int combo;
  std::vector<std::string> entries;
  int32_t LinkState::*value;
  void (*write)(ProfileStore&, const LinkState&);
  bool lockedWhileConnected;  // the transport and the role cannot change while any socket exists
  std::vector<int32_t> values = {};  // each entry's value; none: its index

  int32_t ValueOf(int entry) const { return values.empty() ? entry : values[static_cast<std::size_t>(entry)]; }
  int EntryOf(int32_t value) const {
    if (values.empty()) return value;
    const auto found = std::find(values.begin(), values.end(), value);
    return found == values.end() ? -1 : static_cast<int>(found - values.begin());
  }
};

INT_PTR HandleChoiceDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                           const std::vector<Choice>& choices) {
  if (message == WM_INITDIALOG) {
    LinkDialogContext& context = Open(dialog, lParam);
    LinkState& link = context.panel.link;
    // A connect under way, a listening server or its units count as much as
    // a chosen connection: changing the transport or the role under them
    // would leave the link showing what it is not.
    const bool socketsExist = link.socketConnected == 1 || context.socket.HasSockets();
    for (const Choice& choice : choices) {
      AddEntries(dialog, choice.combo, choice.entries);
      if (choice.lockedWhileConnected && socketsExist) {
        Enable(dialog, choice.combo, false);
      } else {
        SelectEntry(dialog, choice.combo, choice.EntryOf(link.*choice.value));
      }
    }
    return TRUE;
  }
  if (!HasContext(dialog)) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (id == IDOK || id == IDCANCEL) {
        EndDialog(dialog, id);
        return TRUE;
      }
      for (const Choice& choice : choices) {
        if (id != choice.combo || !IsSelectionChange(wParam)) continue;
        const int selected = SelectedEntry(dialog, id);
        if (selected < 0) continue;
        LinkDialogContext& context = ContextOf(dialog);
        context.panel.link.*choice.value = choice.ValueOf(selected);
        choice.write(context.profile, context.panel.link);
      }
      return TRUE;
    }
    case WM_DESTROY:
      End(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

// --- The TCP/IP dialogs -----------------------------------------------------------

void CloseNetworkDialog(HWND dialog, int result) {
  LinkDialogContext& context = ContextOf(dialog);
  EndDialog(dialog, result);
  WritePortNumber(context.profile, context.panel.settings);
}

int ListSelection(HWND dialog, int list) {
  return static_cast<int>(SendDlgItemMessageW(dialog, list, LB_GETCURSEL, 0, 0));
}

void ShowClientButtons(HWND dialog, const LinkState& link) {
  Enable(dialog, IDC_CLIENT_CONNECT, link.socketConnected == 0);
  Enable(dialog, IDC_CLIENT_DISCONNECT, link.socketConnected == 1);
}

void OpenClientDialog(HWND dialog, LinkDialogContext& context) {
  const LinkState& link = context.panel.link;
  context.winSock.SetNetworkDialog(dialog);
  const int chosen = link.selectedConnection;
  if (chosen >= 0 && chosen < static_cast<int>(link.hostList.size())) {
    ShowAddress(dialog, IDC_HOST_ADDRESS, link.hostList[chosen]);
  }
  for (const Ipv4Address& host : link.hostList) {
    SendDlgItemMessageW(dialog, IDC_HOST_LIST, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(WideFromUtf8(HostListText(host)).c_str()));
  }
  ShowPortNumber(dialog, IDC_PORT_NUMBER, context.panel.settings);
  ShowClientButtons(dialog, link);
}

void OnClientCommand(HWND dialog, WPARAM wParam) {
  LinkDialogContext& context = ContextOf(dialog);
  LinkState& link = context.panel.link;
  switch (LOWORD(wParam)) {
    case IDC_HOST_ADD: {
      Ipv4Address host{};
      ReadAddress(dialog, IDC_HOST_ADDRESS, host);
      if (!AddHost(context.profile, link, host)) {
        context.panel.messages.ShowWarning("ホストは100件まで登録できます");
        return;
      }
      SendDlgItemMessageW(dialog, IDC_HOST_LIST, LB_ADDSTRING, 0,
                          reinterpret_cast<LPARAM>(WideFromUtf8(HostListText(host)).c_str()));
      return;
    }
    case IDC_HOST_DELETE: {
      const int position = ListSelection(dialog, IDC_HOST_LIST);
      if (DeleteHost(context.profile, link, position)) SendDlgItemMessageW(dialog, IDC_HOST_LIST, LB_DELETESTRING, position, 0);
      return;
    }
    case IDC_HOST_LIST: {
      const int position = ListSelection(dialog, IDC_HOST_LIST);
      if (HIWORD(wParam) != LBN_DBLCLK || position < 0 || position >= static_cast<int>(link.hostList.size())) return;
      link.selectedConnection = position;
      WriteSelectedConnection(context.profile, link);
      ShowAddress(dialog, IDC_HOST_ADDRESS, link.hostList[position]);
      return;
    }
    case IDC_PORT_NUMBER:
      if (HIWORD(wParam) == EN_CHANGE) StorePortNumber(dialog, IDC_PORT_NUMBER, context.panel.settings);
      return;
    case IDC_CLIENT_CONNECT:
      if (!context.socket.ConnectToUnit(context.panel.settings.portNumber)) link.socketConnected = 0;
      return;
    case IDC_CLIENT_DISCONNECT:
      if (link.socketConnected != 1) return;
      context.socket.CloseAllSockets();
      link.socketConnected = 0;
      context.panel.messages.ShowSuccess("Socket 切断 OK");
      ShowClientButtons(dialog, link);
      return;
    case IDOK:
    case IDCANCEL:
      CloseNetworkDialog(dialog, LOWORD(wParam));
      return;
    default:
      return;
  }
}

// The list holds exactly the rows in use, in row order, each entry carrying
// its row; a double-click maps its position back through the same list. A
// refresh keeps the entry the operator has highlighted, else the chosen one.
int RowOfEntry(HWND dialog, int position) {
  if (position < 0) return 0;
  const LRESULT row = SendDlgItemMessageW(dialog, IDC_CLIENT_LIST, LB_GETITEMDATA, position, 0);
  return row == LB_ERR ? 0 : static_cast<int>(row);
}

void RefreshConnectionList(HWND dialog) {
  LinkDialogContext& context = ContextOf(dialog);
  const LinkState& link = context.panel.link;
  const bool listening = context.socket.Listening();
  const auto chosenRow = link.connections.LiveRow(link.chosenRow, link.chosenSerial);
  const int highlighted = RowOfEntry(dialog, ListSelection(dialog, IDC_CLIENT_LIST));
  const int keep = highlighted != 0 ? highlighted : chosenRow.value_or(0);
  HWND list = GetDlgItem(dialog, IDC_CLIENT_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);  // up to 96 entries: paint once, not each
  SendDlgItemMessageW(dialog, IDC_CLIENT_LIST, LB_RESETCONTENT, 0, 0);
  for (int row : link.connections.ListedRows()) {
    const auto position = SendDlgItemMessageW(dialog, IDC_CLIENT_LIST, LB_ADDSTRING, 0,
                                              reinterpret_cast<LPARAM>(WideFromUtf8(link.connections[row].peerAddress).c_str()));
    SendDlgItemMessageW(dialog, IDC_CLIENT_LIST, LB_SETITEMDATA, position, row);
    if (row == keep) SendDlgItemMessageW(dialog, IDC_CLIENT_LIST, LB_SETCURSEL, position, 0);
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
  const std::string chosen = ChosenPeerAddress(link.connections, 1, link.chosenRow, link.chosenSerial);
  SetDlgItemTextW(dialog, IDC_TRANSMISSION_PLACE, WideFromUtf8(chosen.empty() ? std::string(16, ' ') : chosen).c_str());
  Enable(dialog, IDC_SERVER_CONNECT, !listening);
  Enable(dialog, IDC_PORT_NUMBER, !listening);
  Enable(dialog, IDC_SERVER_DISCONNECT, listening);
  SharedDialogState().hiddenClickCount = 0;
}

void OpenServerDialog(HWND dialog, LinkDialogContext& context) {
  context.winSock.SetNetworkDialog(dialog);
  ShowPortNumber(dialog, IDC_PORT_NUMBER, context.panel.settings);
  RefreshConnectionList(dialog);
}

void OnServerCommand(HWND dialog, WPARAM wParam) {
  LinkDialogContext& context = ContextOf(dialog);
  LinkState& link = context.panel.link;
  switch (LOWORD(wParam)) {
    case IDC_SERVER_CONNECT:
      context.socket.StartServer(context.panel.settings.portNumber);
      RefreshConnectionList(dialog);
      return;
    case IDC_SERVER_DISCONNECT:
      context.socket.CloseAllSockets();
      RefreshConnectionList(dialog);
      return;
    case IDC_CLIENT_LIST: {
      if (HIWORD(wParam) != LBN_DBLCLK) return;
      // A double-click that hits no listed unit changes nothing.
      const int row = RowOfEntry(dialog, ListSelection(dialog, IDC_CLIENT_LIST));
      if (row == 0 || link.connections[row].inUse != 1) return;
      link.chosenRow = row;
      link.chosenSerial = link.connections[row].serial;
      link.socketConnected = 1;
      RefreshConnectionList(dialog);
      return;
    }
    case IDC_PORT_NUMBER:
      if (HIWORD(wParam) == EN_CHANGE) StorePortNumber(dialog, IDC_PORT_NUMBER, context.panel.settings);
      return;
    case IDC_CLOSE:
      CloseNetworkDialog(dialog, IDC_CLOSE);
      return;
    default:
      return;
  }
}

struct NetworkDialogParts {
  void (*open)(HWND, LinkDialogContext&);
  void (*command)(HWND, WPARAM);
  void (*linkChanged)(HWND);
};

INT_PTR HandleNetworkDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, const NetworkDialogParts& parts) {
  if (message == WM_INITDIALOG) {
    parts.open(dialog, Open(dialog, lParam));
    return TRUE;
  }
  if (!HasContext(dialog)) return FALSE;
  switch (message) {
    case WM_COMMAND:
      parts.command(dialog, wParam);
      return TRUE;
    case MsgLinkChanged:
      parts.linkChanged(dialog);
      return TRUE;
    case WM_DESTROY:
      ContextOf(dialog).winSock.SetNetworkDialog(nullptr);
      End(dialog);
      return FALSE;
    default:
      return FALSE;
  }
}

void RefreshClientButtons(HWND dialog) { ShowClientButtons(dialog, ContextOf(dialog).panel.link); }

}  // namespace

INT_PTR CALLBACK InterfaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static const std::vector<Choice> kChoices = {
      {IDC_INTERFACE, {"RS-232C/485", "TCP/IP"}, &LinkState::linkInterface, WriteInterface, true}};
  return HandleChoiceDialog(dialog, message, wParam, lParam, kChoices);
}

INT_PTR CALLBACK SerialDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // The ports are listed afresh each time the dialog opens: an adapter may
  // have been plugged in meanwhile.
  static std::vector<Choice> choices;
  if (message == WM_INITDIALOG) {
    const LinkState& link = reinterpret_cast<LinkDialogContext*>(lParam)->panel.link;
    PortChoice ports = SerialPortChoice(PresentComPorts(), link.comPort);
    choices = {{IDC_COM_PORT, std::move(ports.entries), &LinkState::comPort, WriteComPort, false,
                std::move(ports.comPorts)},
               {IDC_RS_CONTROL, {"RS-232C", "RS-485"}, &LinkState::rsControl, WriteRsControl, false}};
  }
  return HandleChoiceDialog(dialog, message, wParam, lParam, choices);
}

INT_PTR CALLBACK ClientServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static const std::vector<Choice> kChoices = {
      {IDC_CLIENT_SERVER, {"Client", "Server"}, &LinkState::clientServerMode, WriteClientServer, true}};
  return HandleChoiceDialog(dialog, message, wParam, lParam, kChoices);
}

INT_PTR CALLBACK TcpClientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr NetworkDialogParts kParts = {OpenClientDialog, OnClientCommand, RefreshClientButtons};
  return HandleNetworkDialog(dialog, message, wParam, lParam, kParts);
}

INT_PTR CALLBACK TcpServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr NetworkDialogParts kParts = {OpenServerDialog, OnServerCommand, RefreshConnectionList};
  return HandleNetworkDialog(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
