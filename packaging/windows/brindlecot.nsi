; Brindlecot's Windows installer. The CMake target windows_installer lays the installed files
; out in a staging folder (cmake --install) and runs
;   makensis -DVERSION=2.0 -DVERSION_QUAD=2.0.0.0 -DSTAGING=<folder> -DOUTFILE=<setup.exe> brindlecot.nsi
; The staging folder holds bin\ (the program, the Qt and MinGW DLLs, Qt's plugin folders),
; share\brindlecot\ (the help and web pages, found by the program relative to bin\),
; LICENSE.txt and licenses\.
;
; Command line, beside NSIS's own /S (silent) and /D=folder (last, unquoted):
;   setup.exe /NOLOGON      no log-on start
;   setup.exe /ADMINCLOCK   administrators start Brindlecot with the right to set the clock
;   uninstall.exe /PURGE    also remove the server list (the data file)

Unicode true
Target amd64-unicode
RequestExecutionLevel admin
ManifestDPIAware true
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!ifndef VERSION | STAGING | OUTFILE
  !error "makensis needs -DVERSION=, -DSTAGING= and -DOUTFILE= (the CMake target windows_installer passes them)"
!endif
!ifndef VERSION_QUAD
  !define VERSION_QUAD "${VERSION}.0.0"
!endif

!define PRODUCT "Brindlecot"
!define PUBLISHER "Brindlecot maintainers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlecot"
!define TASK_NAME "Brindlecot"
; Well-known SIDs, so that the rules hold on Windows in every language.
!define SID_SYSTEM "*S-1-5-18"
!define SID_ADMINISTRATORS "*S-1-5-32-544"
!define SID_USERS "*S-1-5-32-545"
!define GROUP_ADMINISTRATORS "S-1-5-32-544"
!define GROUP_USERS "S-1-5-32-545"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} setup"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "GPL-3.0-or-later"

!define MUI_ICON "${STAGING}/brindlecot.ico"
!define MUI_UNICON "${STAGING}/brindlecot.ico"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC

!insertmacro MUI_PAGE_LICENSE "${STAGING}/LICENSE.txt"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
; No "run now" box: the installer runs with an administrator's full rights, and the copy it
; started would inherit them.
!define MUI_FINISHPAGE_TEXT "Brindlecot is installed. Start it from the Start menu, or log on again.$\r$\n$\r$\nThe first time it listens on port 37, Windows Firewall may ask whether other computers may reach it; allow the private network for computers on your local network to take their time from this one."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var DataFolder

; ---------------------------------------------------------------------------------------
; Install

Section "Brindlecot" SecProgram
    SectionIn RO
    SetShellVarContext all

    ; A running copy of this account keeps the program's files open: ask it to end, saving
    ; its list, as "Exit" does. Status 3 means none runs.
    ${If} ${FileExists} "$INSTDIR\bin\brindlecot.exe"
        nsExec::Exec '"$INSTDIR\bin\brindlecot.exe" --quit'
        Pop $0
    ${EndIf}

    SetOutPath "$INSTDIR"
    File /r "${STAGING}/*"
    SetOutPath "$INSTDIR\bin"

    CreateShortcut "$SMPROGRAMS\Brindlecot.lnk" "$INSTDIR\bin\brindlecot.exe" "" "$INSTDIR\brindlecot.ico" 0 \
        SW_SHOWNORMAL "" "Keeps the computer's clock right by the Time Protocol"

    WriteUninstaller "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brindlecot.ico"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "HelpLink" "$INSTDIR\share\brindlecot\help\index.htm"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2 ; in KiB, as "Apps & features" reads it
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "Start at log-on for every account" SecLogon
    ; Done by the last section, which also knows the choice below.
SectionEnd

Section /o "Administrators may set the clock" SecAdminClock
    ; Done by the last section.
SectionEnd

; The data folder and the log-on start both depend on the two choices above.
Section "-Data folder and log-on start"
    SetShellVarContext all
    StrCpy $DataFolder "$APPDATA\Brindlecot" ; %ProgramData%\Brindlecot
    CreateDirectory "$DataFolder"

    ; Every account shares the one server list. Inherited rules are dropped (ProgramData lets
    ; an account create files that only it may then change) and replaced by: the system and
    ; administrators full control, and users Modify - or, when administrators' copies set
    ; the clock, users Read only, since the list steers the clock those copies set.
    ${If} ${SectionIsSelected} ${SecAdminClock}
        StrCpy $1 "(OI)(CI)RX"
        ; A standard account's copy only reads the list, but it takes the lock beside it,
        ; which needs no more than reading once the file is there.
        ${IfNot} ${FileExists} "$DataFolder\Brindlecot.lock"
            FileOpen $0 "$DataFolder\Brindlecot.lock" w
            FileClose $0
        ${EndIf}
    ${Else}
        StrCpy $1 "(OI)(CI)M"
    ${EndIf}
    nsExec::ExecToLog 'icacls "$DataFolder" /inheritance:r /grant:r ${SID_SYSTEM}:(OI)(CI)F ${SID_ADMINISTRATORS}:(OI)(CI)F ${SID_USERS}:$1'
    Pop $0
    ${If} $0 != 0
        DetailPrint "icacls could not set the rights of $DataFolder ($0)."
    ${EndIf}
    ; Files made before take the folder's rules again.
    nsExec::ExecToLog 'icacls "$DataFolder\*" /reset'
    Pop $0

    ; One scheduled task starts Brindlecot at log-on. "Highest available" gives each account
    ; the highest rights it already holds and no more: a standard account its own, an
    ; administrator the full token that UAC otherwise withholds (and with it the right to
    ; set the clock), without a prompt.
    nsExec::Exec 'schtasks /Delete /TN "${TASK_NAME}" /F'
    Pop $0
    ${If} ${SectionIsSelected} ${SecLogon}
        ${If} ${SectionIsSelected} ${SecAdminClock}
            Push "HighestAvailable"
        ${Else}
            Push "LeastPrivilege"
        ${EndIf}
        Push "${GROUP_USERS}"
        Call WriteLogonTask
    ${ElseIf} ${SectionIsSelected} ${SecAdminClock}
        Push "HighestAvailable"
        Push "${GROUP_ADMINISTRATORS}"
        Call WriteLogonTask
    ${EndIf}
SectionEnd

; Registers the task that starts the program at the log-on of every member of a group.
; Stack: group SID, run level.
Function WriteLogonTask
    Exch $R0 ; group
    Exch
    Exch $R1 ; run level
    Push $R2
    ; Kept in the installation folder: an administrator can register it again with
    ; schtasks /Create /TN Brindlecot /XML logon-task.xml
    StrCpy $R2 "$INSTDIR\logon-task.xml"
    FileOpen $0 "$R2" w
    FileWriteUTF16LE /BOM $0 '<?xml version="1.0" encoding="UTF-16"?>$\r$\n'
    FileWriteUTF16LE $0 '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">$\r$\n'
    FileWriteUTF16LE $0 '  <RegistrationInfo><Description>Starts Brindlecot, which keeps the clock right, at log-on.</Description></RegistrationInfo>$\r$\n'
    FileWriteUTF16LE $0 '  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>$\r$\n'
    FileWriteUTF16LE $0 '  <Principals><Principal id="Members"><GroupId>$R0</GroupId><RunLevel>$R1</RunLevel></Principal></Principals>$\r$\n'
    ; No time limit (the default ends a task after three days), one copy per account
    ; (the program itself sends a second start to the running copy), normal priority.
    FileWriteUTF16LE $0 '  <Settings><MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy><DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries><StopIfGoingOnBatteries>false</StopIfGoingOnBatteries><ExecutionTimeLimit>PT0S</ExecutionTimeLimit><Priority>5</Priority><Enabled>true</Enabled></Settings>$\r$\n'
    FileWriteUTF16LE $0 '  <Actions Context="Members"><Exec><Command>"$INSTDIR\bin\brindlecot.exe"</Command><WorkingDirectory>$INSTDIR\bin</WorkingDirectory></Exec></Actions>$\r$\n'
    FileWriteUTF16LE $0 '</Task>$\r$\n'
    FileClose $0
    nsExec::ExecToLog 'schtasks /Create /TN "${TASK_NAME}" /XML "$R2" /F'
    Pop $0
    ${If} $0 != 0
        DetailPrint "schtasks could not register the log-on start ($0)."
    ${EndIf}
    Pop $R2
    Pop $R1
    Pop $R0
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "The program, its help, Qt's libraries and a Start menu entry. The server list is shared by every account, in %ProgramData%\Brindlecot."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecLogon} "Starts Brindlecot when anyone logs on, with that account's own rights."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAdminClock} "Starts it for administrators with their full rights, so that it sets the clock. Only administrators may then change the server list."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/NOLOGON" $R1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecLogon}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/ADMINCLOCK" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecAdminClock}
    ${EndIf}
FunctionEnd

; ---------------------------------------------------------------------------------------
; Uninstall: everything but the server list, unless it is chosen (or /PURGE given).

Section "un.Brindlecot" UnSecProgram
    SectionIn RO
    SetShellVarContext all
    StrCpy $DataFolder "$APPDATA\Brindlecot"

    ; The running copy of this account ends as "Exit" does, saving its list.
    ${If} ${FileExists} "$INSTDIR\bin\brindlecot.exe"
        nsExec::Exec '"$INSTDIR\bin\brindlecot.exe" --quit'
        Pop $0
    ${EndIf}

    nsExec::Exec 'schtasks /Delete /TN "${TASK_NAME}" /F'
    Pop $0
    Delete "$SMPROGRAMS\Brindlecot.lnk"

    ; Only the folders this installer made, never the whole installation folder, which the
    ; user may have pointed at a folder of other files.
    RMDir /r "$INSTDIR\bin"
    RMDir /r "$INSTDIR\share\brindlecot"
    RMDir "$INSTDIR\share"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\LICENSE.txt"
    Delete "$INSTDIR\brindlecot.ico"
    Delete "$INSTDIR\logon-task.xml"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"

    ; The lock only keeps a second copy from starting; the data file stays.
    Delete "$DataFolder\Brindlecot.lock"
    RMDir "$DataFolder"

    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.The server list of every account" UnSecData
    SetShellVarContext all
    Delete "$DataFolder\Brindlecot.dat"
    RMDir "$DataFolder"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecProgram} "The program, its help, the Start menu entry and the log-on start."
    !insertmacro MUI_DESCRIPTION_TEXT ${UnSecData} "Brindlecot.dat in %ProgramData%\Brindlecot: the servers, their results and the interval. Kept unless chosen here."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

Function un.onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/PURGE" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${UnSecData}
    ${EndIf}
FunctionEnd
