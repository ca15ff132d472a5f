// Resource ids of Vellumo.exe: dialog templates, controls, icon and strings.
// Every template and string exists in each language under the same id.
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
#define IDD_RUN_SUMMARY         130

// Settings dialog (102)
#define IDC_KEY_LIST            1000
#define IDC_BTN_ADD             1008
#define IDC_BTN_DELETE          1009
#define IDC_BTN_EDIT            1010
#define IDC_CHECK_SHOW_KEYS     1011
#define IDC_CHECK_AUTO_CLOSE    1012

// Key properties dialog (103)
#define IDC_EDIT_NAME           1013
#define IDC_EDIT_KEY            1014
#define IDC_EDIT_ABOUT          1015
#define IDC_EDIT_KEY_CONFIRM    1016
#define IDC_CHECK_SHOW_KEY      1017

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
#define IDC_PROGRESS_TEXT       1027
#define IDC_BTN_ADD_FILES       1028
#define IDC_BTN_ADD_FOLDER      1029
#define IDC_BTN_REMOVE          1030
#define IDC_RADIO_SEALED        1031

// Manual key input dialog (129); the show-key box is the one of dialog 103
#define IDC_EDIT_MANUAL_KEY     1019
#define IDC_EDIT_MANUAL_CONFIRM 1025

// Run summary (130)
#define IDC_SUMMARY_TOTAL       1040
#define IDC_SUMMARY_COUNTS      1041
#define IDC_SUMMARY_LIST        1042

// System menu command of the settings dialog
#define IDM_ABOUTBOX            0x0010

// Strings
#define IDS_CAPTION             200
#define IDS_TITLE_ENCRYPT       201
#define IDS_TITLE_DECRYPT       202
#define IDS_COLUMN_NUMBER       203
#define IDS_COLUMN_FILE         204
#define IDS_STATUS_ENCRYPTING   205
#define IDS_STATUS_DECRYPTING   206
#define IDS_STATUS_TOTAL        207
#define IDS_PROGRESS_FILES      208
#define IDS_PROGRESS_RATE       209
#define IDS_QUIT                210
#define IDS_CANCEL              211
#define IDS_CANCELLING          212
#define IDS_CHOOSE_KEY          213
#define IDS_MENU_ADD_FILES      214
#define IDS_MENU_ADD_FOLDER     215
#define IDS_MENU_REMOVE         216
#define IDS_PICK_FILES          217
#define IDS_PICK_FOLDER         218

// A file's message box (%s: the path)
#define IDS_MSG_CANNOT_OPEN             230
#define IDS_MSG_ALREADY_ENCRYPTED       231
#define IDS_MSG_NOT_ENCRYPTED           232
#define IDS_MSG_WRONG_KEY               233
#define IDS_MSG_UNPACK_FAILED           234
#define IDS_MSG_READ_WRITE_FAILED       235
#define IDS_MSG_REPLACE_FAILED          236
#define IDS_MSG_PACKS_ITSELF            237
#define IDS_MSG_PACK_FAILED             238
// The same as a reason in the run summary
#define IDS_REASON_CANNOT_OPEN          240
#define IDS_REASON_ALREADY_ENCRYPTED    241
#define IDS_REASON_NOT_ENCRYPTED        242
#define IDS_REASON_WRONG_KEY            243
#define IDS_REASON_UNPACK_FAILED        244
#define IDS_REASON_READ_WRITE_FAILED    245
#define IDS_REASON_REPLACE_FAILED       246
#define IDS_REASON_PACKS_ITSELF         247
#define IDS_REASON_PACK_FAILED          248
#define IDS_REASON_STOPPED              249
// The sealed format's messages and the unknown cipher: box, then reason
#define IDS_MSG_DAMAGED                 280
#define IDS_MSG_UNSUPPORTED             281
#define IDS_MSG_NO_MEMORY               282
#define IDS_MSG_ALREADY_SEALED          283
#define IDS_MSG_UNKNOWN_CIPHER          284
#define IDS_REASON_DAMAGED              285
#define IDS_REASON_UNSUPPORTED          286
#define IDS_REASON_NO_MEMORY            287
#define IDS_REASON_ALREADY_SEALED       288
#define IDS_REASON_UNKNOWN_CIPHER       289

#define IDS_SUMMARY_COUNTS      250
#define IDS_SUMMARY_CANCELLED   251
#define IDS_COLUMN_REASON       252

#define IDS_NAME_OR_KEY_EMPTY   260
#define IDS_DELETE_KEY          261
#define IDS_KEY_EMPTY           262
#define IDS_KEYS_DIFFER         263
#define IDS_KEY_NOT_IN_CODEPAGE 264
#define IDS_COLUMN_ID           265
#define IDS_COLUMN_NAME         266
#define IDS_COLUMN_KEY          267
#define IDS_COLUMN_ABOUT        268

#define IDS_NO_KEY_CHOSEN       270
// The clipboard dialog's refusals of a sealed text
#define IDS_CLIP_WRONG_KEY      271
#define IDS_CLIP_DAMAGED        272
#define IDS_CLIP_UNSUPPORTED    273
#define IDS_CLIP_NO_MEMORY      274

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
