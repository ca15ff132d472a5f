; Vellumo setup for 64-bit Windows, built by makensis from the win64 build
; (installer/CMakeLists.txt passes the defines below).
;
;   VERSION   four-part version, e.g. 1.0.0.1
;   PROGRAM   the x64 Vellumo.exe
;   SHELLEXT  Vorlink64.dll
;   TEMPLATE  the key database template docset.dat
;   ICON      the program icon
;   OUTFILE   where the setup program goes
;   SIGN      scripts/sign: signs the setup and its uninstaller when a release
;             is built with a certificate (VELLUMO_SIGN_PFX), else does nothing
;
; The amd64 stub runs only on 64-bit Windows, so a 32-bit system refuses to
; start it at all; the shell extension could not load there anyway.
; Setup writes what it installs and nothing else: the user's settings folder
; (%APPDATA%\zentrik_quen, with the key database docset.dat and quen_set.ini) is
; the program's own, and neither setup nor the uninstaller touches it.

Unicode true
Target amd64-unicode
!ifdef SIGN
  !finalize '"${SIGN}" --if-configured "%1"' = 0
  !uninstfinalize '"${SIGN}" --if-configured "%1"' = 0
!endif
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "Vellumo"
!define PUBLISHER "Zentrik"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumo"
!define MENU_FOLDER "$SMPROGRAMS\Vellumo"
; File types go to the machine's classes, where the extension registers itself,
; not to whatever the merged HKCR view would pick for this user.
!define CLASSES "Software\Classes"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Vellumo"
; A reinstall or upgrade goes where the last one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) ${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
; Setup never restarts Windows or Explorer, not even on request.
!define MUI_FINISHPAGE_NOREBOOTSUPPORT
!define MUI_FINISHPAGE_TEXT "$(LS_FINISH_INSTALL)"
!define MUI_UNFINISHPAGE_NOREBOOTSUPPORT

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$(LS_FINISH_UNINSTALL)"
!insertmacro MUI_UNPAGE_FINISH

; The first language is the one a system without a match gets.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString LS_NOT_ADMIN ${LANG_SIMPCHINESE} "安装 Vellumo 需要管理员权限。请以管理员身份重新运行安装程序。"
LangString LS_NOT_ADMIN ${LANG_ENGLISH} "Installing Vellumo needs administrator rights. Please run the setup program again as an administrator."
LangString LS_REG_FAILED ${LANG_SIMPCHINESE} "资源管理器扩展 Vorlink64.dll 注册失败（regsvr32 返回 $0）。右键菜单和加密文件图标不可用；请以管理员身份重新运行安装程序。"
LangString LS_REG_FAILED ${LANG_ENGLISH} "Registering the Explorer extension Vorlink64.dll failed (regsvr32 returned $0). The right-click menu and the encrypted-file icons will not work; please run the setup program again as an administrator."
LangString LS_FINISH_INSTALL ${LANG_SIMPCHINESE} "Vellumo 已安装。$\r$\n$\r$\n资源管理器要重新启动后才会加载新的右键菜单和加密文件图标：请注销并重新登录（或重新启动计算机）。安装程序没有重新启动任何程序。$\r$\n$\r$\n开始菜单的“Vellumo”文件夹中有“密钥设置”、“剪贴板加密”和“剪贴板解密”。"
LangString LS_FINISH_INSTALL ${LANG_ENGLISH} "Vellumo has been installed.$\r$\n$\r$\nExplorer loads the new right-click menu and encrypted-file icons only after it restarts: please sign out and sign in again (or restart the computer). Setup has restarted nothing.$\r$\n$\r$\nThe Start menu folder $\"Vellumo$\" holds Key Settings, Encrypt Clipboard and Decrypt Clipboard."
LangString LS_FINISH_UNINSTALL ${LANG_SIMPCHINESE} "Vellumo 已卸载。$\r$\n$\r$\n您的密钥、设置（%APPDATA%\zentrik_quen）和加密文件都保留着。已经运行的资源管理器要在注销或重新启动后才会完全卸下右键菜单扩展。"
LangString LS_FINISH_UNINSTALL ${LANG_ENGLISH} "Vellumo has been removed.$\r$\n$\r$\nYour keys, settings (%APPDATA%\zentrik_quen) and encrypted files are kept. A running Explorer lets go of the right-click extension only after you sign out or restart."

; Start-menu entries, named in the language setup runs in. The uninstaller
; may run in the other one, so it removes the names of both.
!define LNK_SETTINGS_ZH "密钥设置"
!define LNK_SETTINGS_EN "Key Settings"
!define LNK_ENCLIP_ZH "剪贴板加密"
!define LNK_ENCLIP_EN "Encrypt Clipboard"
!define LNK_DECLIP_ZH "剪贴板解密"
!define LNK_DECLIP_EN "Decrypt Clipboard"
!define LNK_UNINSTALL_ZH "卸载 Vellumo"
!define LNK_UNINSTALL_EN "Uninstall Vellumo"
LangString LS_LNK_SETTINGS ${LANG_SIMPCHINESE} "${LNK_SETTINGS_ZH}"
LangString LS_LNK_SETTINGS ${LANG_ENGLISH} "${LNK_SETTINGS_EN}"
LangString LS_LNK_ENCLIP ${LANG_SIMPCHINESE} "${LNK_ENCLIP_ZH}"
LangString LS_LNK_ENCLIP ${LANG_ENGLISH} "${LNK_ENCLIP_EN}"
LangString LS_LNK_DECLIP ${LANG_SIMPCHINESE} "${LNK_DECLIP_ZH}"
LangString LS_LNK_DECLIP ${LANG_ENGLISH} "${LNK_DECLIP_EN}"
LangString LS_LNK_UNINSTALL ${LANG_SIMPCHINESE} "${LNK_UNINSTALL_ZH}"
LangString LS_LNK_UNINSTALL ${LANG_ENGLISH} "${LNK_UNINSTALL_EN}"

Function .onInit
  SetRegView 64
  SetShellVarContext all
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "$(LS_NOT_ADMIN)" /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Abort
  ${EndIf}
FunctionEnd

Section "Vellumo"
  SetOutPath "$INSTDIR"
  ; Explorer keeps a loaded extension open until it ends, and an open DLL
  ; cannot be overwritten, but it can be renamed: the old copy moves aside
  ; under a fresh name (so a second upgrade before a restart works too) and
  ; is deleted now, or at the next start of Windows while Explorer holds it.
  ${If} ${FileExists} "$INSTDIR\Vorlink64.dll"
    GetTempFileName $1 "$INSTDIR"
    Delete $1
    Rename "$INSTDIR\Vorlink64.dll" $1
    Delete /REBOOTOK $1
  ${EndIf}
  File "/oname=Vellumo.exe" "${PROGRAM}"
  File "/oname=Vorlink64.dll" "${SHELLEXT}"
  File "/oname=docset.dat" "${TEMPLATE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; Add/Remove Programs.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Vellumo.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Encrypted files carry ".EDS"; the ORV type is where the icon handler hangs,
  ; and opening such a file starts decryption with it listed.
  WriteRegStr HKLM "${CLASSES}\.EDS" "" "ORV"
  WriteRegStr HKLM "${CLASSES}\ORV\shell\open\command" "" '"$INSTDIR\Vellumo.exe" "%1"'

  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\$(LS_LNK_SETTINGS).lnk" "$INSTDIR\Vellumo.exe" "-sysset" "$INSTDIR\Vellumo.exe" 0
  CreateShortcut "${MENU_FOLDER}\$(LS_LNK_ENCLIP).lnk" "$INSTDIR\Vellumo.exe" "-enslipstart" "$INSTDIR\Vellumo.exe" 0
  CreateShortcut "${MENU_FOLDER}\$(LS_LNK_DECLIP).lnk" "$INSTDIR\Vellumo.exe" "-deslipstart" "$INSTDIR\Vellumo.exe" 0
  CreateShortcut "${MENU_FOLDER}\$(LS_LNK_UNINSTALL).lnk" "$INSTDIR\uninstall.exe"

  ; Last, so that a failure leaves an install the uninstaller can remove.
  ; $SYSDIR of this 64-bit setup is the 64-bit System32.
  DetailPrint "regsvr32 $INSTDIR\Vorlink64.dll"
  ExecWait '"$SYSDIR\regsvr32.exe" /s "$INSTDIR\Vorlink64.dll"' $0
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "$(LS_REG_FAILED)" /SD IDOK
    SetErrorLevel 3
    Abort
  ${EndIf}
SectionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  ${If} ${FileExists} "$INSTDIR\Vorlink64.dll"
    DetailPrint "regsvr32 /u $INSTDIR\Vorlink64.dll"
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\Vorlink64.dll"'
  ${EndIf}

  ; The extension may belong to another program by now: only our own mapping goes.
  ReadRegStr $0 HKLM "${CLASSES}\.EDS" ""
  ${If} $0 == "ORV"
    DeleteRegValue HKLM "${CLASSES}\.EDS" ""
    DeleteRegKey /ifempty HKLM "${CLASSES}\.EDS"
  ${EndIf}
  ReadRegStr $0 HKLM "${CLASSES}\ORV\shell\open\command" ""
  ${If} $0 == '"$INSTDIR\Vellumo.exe" "%1"'
    DeleteRegKey HKLM "${CLASSES}\ORV\shell\open"
    DeleteRegKey /ifempty HKLM "${CLASSES}\ORV\shell"
  ${EndIf}
  ; The extension's own removal keeps the ORV type with its icon entry; with
  ; nothing else under it, it goes too.
  DeleteRegKey /ifempty HKLM "${CLASSES}\ORV\ShellEx"
  ReadRegStr $0 HKLM "${CLASSES}\ORV\DefaultIcon" ""
  ${If} $0 == "%1"
    DeleteRegValue HKLM "${CLASSES}\ORV\DefaultIcon" ""
    DeleteRegKey /ifempty HKLM "${CLASSES}\ORV\DefaultIcon"
  ${EndIf}
  DeleteRegKey /ifempty HKLM "${CLASSES}\ORV"

  Delete "${MENU_FOLDER}\${LNK_SETTINGS_ZH}.lnk"
  Delete "${MENU_FOLDER}\${LNK_ENCLIP_ZH}.lnk"
  Delete "${MENU_FOLDER}\${LNK_DECLIP_ZH}.lnk"
  Delete "${MENU_FOLDER}\${LNK_UNINSTALL_ZH}.lnk"
  Delete "${MENU_FOLDER}\${LNK_SETTINGS_EN}.lnk"
  Delete "${MENU_FOLDER}\${LNK_ENCLIP_EN}.lnk"
  Delete "${MENU_FOLDER}\${LNK_DECLIP_EN}.lnk"
  Delete "${MENU_FOLDER}\${LNK_UNINSTALL_EN}.lnk"
  RMDir "${MENU_FOLDER}"

  ; Only the files setup wrote, never the folder wholesale: anything else in
  ; it (a user's encrypted file, say) stays, and so does the folder then.
  Delete "$INSTDIR\Vellumo.exe"
  Delete /REBOOTOK "$INSTDIR\Vorlink64.dll"
  Delete "$INSTDIR\docset.dat"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
