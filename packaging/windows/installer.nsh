; What the installer does beyond copying files: it waits for running copies to close, removes
; an earlier version first, and opens the firewall for the program. Included by CPack's NSIS
; script; the macros are inserted into its install and uninstall sections.

!include FileFunc.nsh

!define SENVO_FIREWALL_RULE "Senvo-Net"

; A running program's file cannot be opened for writing, on every Windows: that tells, with no
; plugin and no help from the program, whether a copy from a folder still runs, the earlier
; versions included. Takes the folder on the stack; aborts when the user gives up.
!macro SenvoWaitUntilClosedFunction UN
Function ${UN}SenvoWaitUntilClosed
  Exch $R6
  Push $R9
  check:
  ClearErrors
  IfFileExists "$R6\senvo-net.exe" 0 check_sim
  FileOpen $R9 "$R6\senvo-net.exe" a
  IfErrors running
  FileClose $R9
  check_sim:
  IfFileExists "$R6\senvo-sim.exe" 0 not_running
  FileOpen $R9 "$R6\senvo-sim.exe" a
  IfErrors running
  FileClose $R9
  Goto not_running
  running:
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "Senvo-Net is running from $R6.$\n$\nClose every Senvo-Net window (and senvo-sim), then choose Retry." \
    /SD IDCANCEL IDRETRY check
  DetailPrint "Stopped: Senvo-Net is running from $R6; close it and try again."
  SetErrorLevel 2
  Abort "Senvo-Net is running from $R6; close it and try again."
  not_running:
  Pop $R9
  Pop $R6
FunctionEnd
!macroend
!insertmacro SenvoWaitUntilClosedFunction ""
!insertmacro SenvoWaitUntilClosedFunction "un."

; An earlier version is uninstalled first, silently and in place, so that nothing of it is
; left behind; its uninstaller leaves each user's settings, in %LOCALAPPDATA%, alone.
!macro SenvoRemoveEarlierVersion
  ReadRegStr $R8 SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\Senvo-Net" "UninstallString"
  StrCmp $R8 "" senvo_no_earlier
  ReadRegStr $R7 SHCTX "Software\Microsoft\Windows\CurrentVersion\Uninstall\Senvo-Net" "DisplayVersion"
  ; The path is written quoted.
  StrCpy $R6 $R8 1
  StrCmp $R6 '"' 0 +2
  StrCpy $R8 $R8 -1 1
  IfFileExists $R8 0 senvo_no_earlier
  ${GetParent} $R8 $R6
  Push $R6
  Call SenvoWaitUntilClosed
  DetailPrint "Removing Senvo-Net $R7 from $R6 first"
  ClearErrors
  ExecWait '"$R8" /S _?=$R6' $R5
  IfErrors senvo_uninstall_failed
  StrCmp $R5 0 0 senvo_uninstall_failed
  ; Run in place, the uninstaller cannot delete itself.
  Delete $R8
  RMDir $R6
  Goto senvo_no_earlier
  senvo_uninstall_failed:
  MessageBox MB_OK|MB_ICONSTOP \
    "Senvo-Net $R7, installed in $R6, could not be removed (its uninstaller returned $R5).$\n$\nUninstall it from the list of installed programs, then run this installer again." \
    /SD IDOK
  SetErrorLevel 2
  Abort "Senvo-Net $R7 could not be removed first."
  senvo_no_earlier:
!macroend

; Readings from other machines arrive only through an inbound rule; Windows would otherwise
; ask the first time the program listens, and only an administrator may answer.
!macro SenvoAddFirewallRule
  ; Installed again into the same folder: one rule, not two. Rules for other folders stay.
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${SENVO_FIREWALL_RULE}" dir=in program="$INSTDIR\senvo-net.exe"'
  Pop $R9
  nsExec::ExecToLog 'netsh advfirewall firewall add rule name="${SENVO_FIREWALL_RULE}" dir=in action=allow program="$INSTDIR\senvo-net.exe" protocol=UDP profile=any enable=yes'
  Pop $R9
  StrCmp $R9 0 +2
  DetailPrint "The firewall rule could not be added ($R9): allow senvo-net.exe in Windows Defender Firewall by hand."
!macroend

!macro SenvoRemoveFirewallRule
  nsExec::ExecToLog 'netsh advfirewall firewall delete rule name="${SENVO_FIREWALL_RULE}" dir=in program="$INSTDIR\senvo-net.exe"'
  Pop $R9
!macroend

; Inserted at the start of the install section, before any file is written.
!macro SenvoBeforeInstall
  !insertmacro SenvoRemoveEarlierVersion
  Push $INSTDIR
  Call SenvoWaitUntilClosed
!macroend

; Inserted at the start of the uninstall section, before any file is removed.
!macro SenvoBeforeUninstall
  Push $INSTDIR
  Call un.SenvoWaitUntilClosed
  !insertmacro SenvoRemoveFirewallRule
!macroend
