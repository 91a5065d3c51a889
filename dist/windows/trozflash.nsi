; The per-machine installer of TROZFlash for Windows. The build's windows_packages target
; (dist/windows/CMakeLists.txt) runs makensis on it with these definitions:
;   VERSION       the version the user sees (1.0)
;   FILE_VERSION  the same in four numbers, for the installer's file properties (1.0.0.0)
;   ARCH          win32 or win64
;   WITH_WINDOW   1 when the build has the window trozflash.exe, 0 when it has only the CLI
;   STAGE         the folder holding the installed files (cmake --install of the build)
;   OUTFILE       the installer to write
; Silent: setup.exe /S installs, uninstall.exe /S removes (/D=FOLDER as the last argument
; picks another folder).

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

!define PRODUCT "TROZFlash"
!define PUBLISHER "The TROZFlash developers"
; One key per architecture's registry view: the 32-bit installer's lands under WOW6432Node on
; 64-bit Windows, so both can be installed side by side.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TROZFlash"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"
; On 64-bit Windows the 32-bit program goes under "Program Files (x86)".
!if "${ARCH}" == "win64"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif

VIProductVersion "${FILE_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey "LegalCopyright" "2026 ${PUBLISHER}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_LICENSE "${STAGE}/copyright.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!if ${WITH_WINDOW} == 1
!define MUI_FINISHPAGE_RUN "$INSTDIR\trozflash.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!endif
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The 64-bit installer (itself a 32-bit program) writes the 64-bit registry view and refuses
; a 32-bit Windows, where its programs could not start.
!macro UseArchitectureView
    !if "${ARCH}" == "win64"
        ${IfNot} ${RunningX64}
            MessageBox MB_ICONSTOP "This is the 64-bit ${PRODUCT}; this Windows is 32-bit. Please use the 32-bit installer." /SD IDOK
            Abort
        ${EndIf}
        SetRegView 64
    !endif
!macroend

Function .onInit
    !insertmacro UseArchitectureView
FunctionEnd

Function un.onInit
    !insertmacro UseArchitectureView
FunctionEnd

Section "TROZFlash"
    ; Shortcuts for every user of the machine.
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${STAGE}/trozflash-cli.exe"
    File "${STAGE}/copyright.txt"
!if ${WITH_WINDOW} == 1
    File "${STAGE}/trozflash.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\trozflash.exe" "" \
        "$INSTDIR\trozflash.exe" 0 SW_SHOWNORMAL "" "Firmware updates for optical drives"
!endif
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
!if ${WITH_WINDOW} == 1
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\trozflash.exe"
!endif
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there: a folder the user chose may hold other files, so it is
; removed only when it is empty.
Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\trozflash.exe"
    Delete "$INSTDIR\trozflash-cli.exe"
    Delete "$INSTDIR\copyright.txt"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
