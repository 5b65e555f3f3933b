; Tavorline's Windows installer. CMakeLists.txt beside it builds it with
;   makensis -INPUTCHARSET UTF8 -DVERSION=6.0.1.0 -DTARGET=x86-unicode
;            -DBIN_DIR=<the programs> -DOUT_FILE=<setup.exe> tavorline.nsi
; (TARGET amd64-unicode for the 64-bit test build).
;
; Per user, without an administrator: the gateway keeps vorn.Ini and its LOG
; folder beside tavorline.exe, so it must live in a folder the shop's user
; can write. What the shop brought (vorn.Ini, LOG, VornLib.dll) is never
; replaced and never removed.

Unicode true
Target ${TARGET}
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh

!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavorline"
; tavorline-web.exe and the web screen find the gateway by this window.
!define GATEWAY_CLASS "TFmain"
!define GATEWAY_CAPTION "Tavorline"
!define EXIT_GATEWAY_RUNS 3
!define EXIT_FILE_IN_USE 4

Name "Tavorline"
OutFile "${OUT_FILE}"
InstallDir "C:\Tavorline"
; An update goes where the last install went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"

; The folder first: whether our VornLib.dll is offered depends on it.
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_CUSTOMFUNCTION_PRE offerReferenceLibrary
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Korean"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Tavorline"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Tavorline ${VERSION} setup"
; As in the programs' own version resource.
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Tavorline"

LangString ProgramName ${LANG_ENGLISH} "Tavorline"
LangString ProgramName ${LANG_KOREAN} "Tavorline"
LangString ProgramText ${LANG_ENGLISH} \
    "The gateway (tavorline.exe), the web screen's tool (tavorline-web.exe), a Start menu entry and a start at logon."
LangString ProgramText ${LANG_KOREAN} \
    "게이트웨이(tavorline.exe), 웹 화면 도구(tavorline-web.exe), 시작 메뉴 항목과 로그온 시 자동 시작."
LangString LibraryName ${LANG_ENGLISH} "Reference VornLib.dll (testing only)"
LangString LibraryName ${LANG_KOREAN} "참조용 VornLib.dll (테스트 전용)"
LangString LibraryText ${LANG_ENGLISH} \
    "For testing only: our own build of the cipher library. A shop uses the library its payment network supplies. Offered only where the folder has no VornLib.dll."
LangString LibraryText ${LANG_KOREAN} \
    "테스트 전용: 자체 빌드한 암호 라이브러리입니다. 매장에서는 결제망이 제공하는 라이브러리를 사용하십시오. 폴더에 VornLib.dll이 없을 때만 표시됩니다."
LangString GatewayRuns ${LANG_ENGLISH} \
    "Tavorline is running: its files cannot be replaced or removed while it runs.$\r$\n$\r$\nEnd it (tray menu: 끝내기), then choose Retry. Cancel changes nothing."
LangString GatewayRuns ${LANG_KOREAN} \
    "Tavorline이 실행 중이어서 파일을 바꾸거나 지울 수 없습니다.$\r$\n$\r$\n트레이 메뉴의 '끝내기'로 종료한 뒤 [다시 시도]를 누르십시오. [취소]를 누르면 아무것도 바꾸지 않습니다."
LangString FileInUse ${LANG_ENGLISH} \
    "$0 cannot be replaced or removed: a program may be using it. Stopped here; nothing after it was changed."
LangString FileInUse ${LANG_KOREAN} \
    "$0 파일을 바꾸거나 지울 수 없습니다. 다른 프로그램이 사용 중일 수 있습니다. 여기서 멈추었으며 그 뒤의 작업은 하지 않았습니다."

; A running gateway holds tavorline.exe open, so copying over it or deleting
; it would fail half way. Closing its window is no way to end it: the
; desktop program only hides. So the user ends it; a silent run, with nobody
; to ask, stops with its own exit code before changing anything.
!macro DEFINE_STOP_IF_GATEWAY_RUNS PREFIX
Function ${PREFIX}stopIfGatewayRuns
    ${Do}
        FindWindow $0 "${GATEWAY_CLASS}" "${GATEWAY_CAPTION}"
        ${If} $0 == 0
            Return
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(GatewayRuns)" /SD IDCANCEL IDRETRY again
        SetErrorLevel ${EXIT_GATEWAY_RUNS}
        Abort "$(GatewayRuns)"
    again:
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_IF_GATEWAY_RUNS ""
!insertmacro DEFINE_STOP_IF_GATEWAY_RUNS "un."

; A file another program holds open (tavorline-web.exe listening, say) is
; not silently left at its old version: the run stops with an exit code.
!macro STOP_ON_ERROR FILE
    ${If} ${Errors}
        StrCpy $0 "${FILE}"
        DetailPrint "$(FileInUse)"
        MessageBox MB_OK|MB_ICONSTOP "$(FileInUse)" /SD IDOK
        SetErrorLevel ${EXIT_FILE_IN_USE}
        Abort
    ${EndIf}
!macroend

!macro INSTALL_PROGRAM NAME
    ClearErrors
    File "${BIN_DIR}/${NAME}"
    !insertmacro STOP_ON_ERROR "$INSTDIR\${NAME}"
!macroend

Section "$(ProgramName)" ProgramSection
    SectionIn RO
    Call stopIfGatewayRuns
    SetOutPath "$INSTDIR"
    SetOverwrite on
    !insertmacro INSTALL_PROGRAM tavorline.exe
    !insertmacro INSTALL_PROGRAM tavorline-web.exe
    WriteUninstaller "$INSTDIR\uninstall.exe"

    SetShellVarContext current
    CreateShortcut "$SMPROGRAMS\Tavorline.lnk" "$INSTDIR\tavorline.exe"
    WriteRegStr HKCU "${RUN_KEY}" "Tavorline" '"$INSTDIR\tavorline.exe"'

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Tavorline"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The shop's own library cannot be told from ours by its name, and Windows
; matches VornLib.dll in any letter case: where one is present, ours is
; neither offered nor copied.
Section /o "$(LibraryName)" LibrarySection
    ${IfNot} ${FileExists} "$INSTDIR\VornLib.dll"
        SetOverwrite off
        File "${BIN_DIR}/VornLib.dll"
    ${EndIf}
SectionEnd

; /REFERENCELIB selects it for a silent install on a test machine.
Function .onInit
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/REFERENCELIB" $1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${LibrarySection}
    ${EndIf}
FunctionEnd

Function offerReferenceLibrary
    ${If} ${FileExists} "$INSTDIR\VornLib.dll"
        ; A section without a name is not shown.
        SectionSetText ${LibrarySection} ""
        !insertmacro UnselectSection ${LibrarySection}
    ${Else}
        SectionSetText ${LibrarySection} "$(LibraryName)"
    ${EndIf}
FunctionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${ProgramSection} "$(ProgramText)"
    !insertmacro MUI_DESCRIPTION_TEXT ${LibrarySection} "$(LibraryText)"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

!macro REMOVE_PROGRAM NAME
    ClearErrors
    Delete "$INSTDIR\${NAME}"
    !insertmacro STOP_ON_ERROR "$INSTDIR\${NAME}"
!macroend

; vorn.Ini, LOG and VornLib.dll stay: the shop's configuration, its records
; and its library (ours, if installed, looks the same) outlive the program.
Section "Uninstall"
    Call un.stopIfGatewayRuns
    !insertmacro REMOVE_PROGRAM tavorline.exe
    !insertmacro REMOVE_PROGRAM tavorline-web.exe

    SetShellVarContext current
    Delete "$SMPROGRAMS\Tavorline.lnk"
    ; Another install of Tavorline may have taken these over since.
    ReadRegStr $0 HKCU "${RUN_KEY}" "Tavorline"
    ${If} $0 == '"$INSTDIR\tavorline.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "Tavorline"
    ${EndIf}
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == "$INSTDIR"
        DeleteRegKey HKCU "${UNINSTALL_KEY}"
    ${EndIf}

    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
SectionEnd
