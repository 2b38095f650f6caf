// Resource and control ids, shared by the resource script and the code.
#pragma once

// Named resources: menu "IDM_MENU" and icon "MYICON".
#define IDB_TOOLBAR 131

// Main window children
#define IDC_TOOL_BAR 500
#define IDC_STATUS_BAR 520

// Menu "ﾌｧｲﾙ"
#define IDM_FILE_NEW 32771
#define IDM_FILE_OPEN 32772
#define IDM_FILE_SAVE 32773
#define IDM_FILE_SAVE_AS 32774
#define IDM_EXIT 121

// Menu "設定"
#define IDM_DATE_TIME 32778
#define IDM_TITLE 32779
#define IDM_TITLE_DISPLAY 32780
#define IDM_AUTO_SEQUENCE 32781
#define IDM_ALARM 32782
#define IDM_ALARM_HISTORY 32793
#define IDM_ASPECT_RATIO 32783
#define IDM_VIDEO_ADJUST 32784
#define IDM_SCREEN 32785
#define IDM_VIDEO_LOSS 32791
#define IDM_VIDEO_LOSS_HISTORY 32794
#define IDM_DIVISION_LAYOUT 32792
#define IDM_OTHER 32786
#define IDM_WRITE_ALL 32787
#define IDM_SLAVE_ADDRESS 32788
#define IDM_READ_ALL 32796

// Menu "インターフェイス"
#define IDM_INTERFACE 32775
#define IDM_SERIAL 32776
#define IDM_CLIENT_SERVER 32795
#define IDM_TCPIP 32777

// Menu "プロトコル" and "情報"
#define IDM_PROTOCOL 32789
#define IDM_ABOUT 120

// Tool bar buttons, in button order
#define IDT_DATE_TIME 501
#define IDT_TITLE 502
#define IDT_TITLE_DISPLAY 503
#define IDT_AUTO_SEQUENCE 504
#define IDT_ALARM 505
#define IDT_ASPECT_RATIO 506
#define IDT_VIDEO_ADJUST 507
#define IDT_SCREEN 508
#define IDT_OTHER 509
#define IDT_DIVISION_LAYOUT 510
#define IDT_VIDEO_LOSS 511
#define IDT_VIDEO_LOSS_HISTORY 512
#define IDT_ALARM_HISTORY 513
#define TOOL_BUTTON_COUNT 13
