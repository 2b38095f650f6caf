// The dialogs of the menu "インターフェイス": how the program reaches the unit.
// Every choice lands in the link state and in kelvrix.ini the moment it is
// made. Each runs modally with a LinkDialogContext* as its init parameter.
#pragma once

#include <windows.h>

#include "link/config_file.h"
#include "link/panel.h"
#include "link/socket_layer_win.h"
#include "link/socket_link.h"

namespace kelvrix::dialogs {

struct LinkDialogContext {
  Panel& panel;
  ProfileStore& profile;
  SocketLink& socket;
  WinSockLayer& winSock;  // told which TCP/IP dialog is open
};

INT_PTR CALLBACK InterfaceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK SerialDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ClientServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TcpClientDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TcpServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kelvrix::dialogs
