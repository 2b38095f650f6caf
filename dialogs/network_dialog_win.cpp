// Dialog 146 "プロトコル": the unit's own network interface. Every line goes
// to the serial sender (this dialog is never opened on TCP/IP), and a paced
// read-back of ten requests refreshes the controls from the replies.
#include <array>

#include "dialogs/dialog_frame_win.h"
#include "dialogs/setting_dialogs_win.h"
#include "link/send_command.h"
#include "model/wide_text_win.h"
#include "resources/resource.h"

namespace kelvrix::dialogs {

namespace {

void ShowNetworkSettings(HWND dialog);

// Ten requests on timer 12, then one more tick before the controls show what
// the replies stored; Close comes back on that last tick. The bar's range is
// the run's eleven ticks, so it fills once.
constexpr SteppedRun kReadBack = {.timerId = 12, .periodMs = 200, .stepCount = kNetworkReadSteps,
                                  .progressId = IDC_UNIT_READ_PROGRESS, .progressRange = kNetworkReadSteps + 1,
                                  .endStep = kNetworkReadSteps + 1, .closeEnabledAt = kNetworkReadSteps + 1,
                                  .linkGuard = false, .reads = true, .finish = ShowNetworkSettings};

struct AddressControl {
  int control;
  int button;
  Ipv4Address DeviceSettings::*field;
  BuiltCommand (*build)(const DeviceSettings&);
};
constexpr std::array<AddressControl, 3> kAddresses = {{
    {IDC_UNIT_IP, IDC_UNIT_SEND_IP, &DeviceSettings::unitIpAddress, BuildIA},
    {IDC_UNIT_GATEWAY, IDC_UNIT_SEND_GATEWAY, &DeviceSettings::unitGatewayAddress, BuildGA},
    {IDC_UNIT_ACTIVE, IDC_UNIT_SEND_ACTIVE, &DeviceSettings::unitActiveAddress, BuildAA},
}};

constexpr ChoiceRow kChoices[] = {
    {IDC_UNIT_SUBNET, IDC_UNIT_SEND_SUBNET, FieldOf<&DeviceSettings::unitSubnetClass>, BuildSM, SubnetClassEntries},
    {IDC_UNIT_CONNECTION_TRY, IDC_UNIT_SEND_CONNECTION_TRY, FieldOf<&DeviceSettings::connectionTry>, BuildECT,
     OnOffEntries},
    {IDC_UNIT_KEEP_ALIVE, IDC_UNIT_SEND_KEEP_ALIVE, FieldOf<&DeviceSettings::keepAlive>, BuildEKA, OnOffEntries},
    {IDC_UNIT_TIME_REGISTER, IDC_UNIT_SEND_TIME_REGISTER, FieldOf<&DeviceSettings::timeRegister>, BuildETR,
     TimeRegisterEntries},
};

void ShowNetworkSettings(HWND dialog) {
  DeviceSettings& settings = PanelOf(dialog).settings;
  for (const AddressControl& address : kAddresses) ShowAddress(dialog, address.control, settings.*address.field);
  SelectChoiceRows(dialog, kChoices, settings);
  ShowPortNumber(dialog, IDC_UNIT_PORT, settings);
  SetDlgItemTextW(dialog, IDC_UNIT_MAC, WideFromUtf8(settings.macAddress).c_str());
  SetDlgItemTextW(dialog, IDC_UNIT_VERSION, WideFromUtf8(settings.firmwareVersion).c_str());
}

void SendReadStep(HWND dialog, int step) {
  SerialSend(PanelOf(dialog), kNetworkReadRequests[static_cast<std::size_t>(step - 1)]);
}

void OnInit(HWND dialog, Panel&) { ShowNetworkSettings(dialog); }

// The address is taken from its control at the press of the button. One with
// a blank field is refused rather than sent with a 0 in its place.
void SendAddress(HWND dialog, const AddressControl& address) {
  Panel& panel = PanelOf(dialog);
  Ipv4Address value{};
  if (ReadAddress(dialog, address.control, value) != 4) {
    panel.messages.ShowWarning("IPアドレスの4つの欄をすべて入力してください");
    return;
  }
  panel.settings.*address.field = value;
  SendSerialOnly(panel, address.build(panel.settings));
}

void OnCommand(HWND dialog, WPARAM wParam) {
  Panel& panel = PanelOf(dialog);
  const int id = LOWORD(wParam);
  for (const AddressControl& address : kAddresses) {
    if (id == address.button) {
      SendAddress(dialog, address);
      return;
    }
  }
  switch (id) {
    case IDC_UNIT_PORT:
      if (HIWORD(wParam) == EN_CHANGE) StorePortNumber(dialog, IDC_UNIT_PORT, panel.settings);
      break;
    case IDC_UNIT_SEND_PORT:
      SendSerialOnly(panel, BuildPN(panel.settings));
      break;
    case IDC_UNIT_READ:
      StartRun(dialog, kReadBack);
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK NetworkDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr DialogParts kParts = {
      .frame = {.caption = L"プロトコルの設定 ", .slaveAddressBox = SlaveAddressBox::None,
                .handlesSocketReplies = false},
      .open = OnInit, .command = OnCommand, .run = &kReadBack, .sendStep = SendReadStep, .rows = kChoices,
      .sendRow = SendSerialOnly};
  return HandleDialogMessage(dialog, message, wParam, lParam, kParts);
}

}  // namespace kelvrix::dialogs
