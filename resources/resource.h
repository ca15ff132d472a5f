// Resource ids of Vellumo.exe: dialog templates, controls, icon and strings.
#pragma once

// Templates, icon and strings
#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_VELLUMO_DIALOG      102
#define IDD_KEY_ADD             103
#define IDD_EN_DE               104
#define IDD_CLIPBOARD           105
#define IDR_MAINFRAME           128
#define IDD_KEY_MT              129

// Settings dialog (102)
#define IDC_KEY_LIST            1000
#define IDC_BTN_ADD             1008
#define IDC_BTN_DELETE          1009
#define IDC_BTN_EDIT            1010

// Key properties dialog (103)
#define IDC_EDIT_NAME           1013
#define IDC_EDIT_KEY            1014
#define IDC_EDIT_ABOUT          1015

// File dialog (104)
#define IDC_RADIO_DES           1006
#define IDC_RADIO_RC4           1007
#define IDC_PROGRESS            1014
#define IDC_STATUS              1015
#define IDC_FILE_LIST           1016
#define IDC_BTN_START           1017
#define IDC_BTN_QUIT            1018
#define IDC_KEY_COMBO           1019
#define IDC_RADIO_AES           1021
#define IDC_CHECK_MANUAL        1022
#define IDC_CHECK_PACK          1023
#define IDC_LABEL_CIPHER        1025
#define IDC_BTN_PLUS            1026

// Manual key input dialog (129)
#define IDC_EDIT_MANUAL_KEY     1019
#define IDC_EDIT_MANUAL_CONFIRM 1025

// System menu command of the settings dialog
#define IDM_ABOUTBOX            0x0010

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
