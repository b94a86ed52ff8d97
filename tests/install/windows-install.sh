#!/usr/bin/env bash
# Installs the Windows setup silently into a private Wine prefix, checks what it laid out
# (files, every DLL they import, the Start menu entry, the "Apps & features" entry, the
# log-on task, the data folder), runs the installed program headless with a data file whose
# one server is on loopback, uninstalls it silently and checks that only the data file is
# left; then installs with the administrators' clock choice and uninstalls with /PURGE.
#   windows-install.sh setup.exe work-folder qt-plugin-folder
# The setup ships Qt's windows platform only; the headless run takes Qt's offscreen platform
# from the plugin folder of the Qt that the program was built with.
#
# Every Wine process runs without CAP_SYS_TIME in its bounding set. As root it also runs
# in a network namespace of its own with only loopback in it, so the program can reach no
# server but its own and its port 37 is not the machine's; elsewhere it runs without
# CAP_NET_BIND_SERVICE, so it leaves port 37 to the rest of the test suite.
set -euo pipefail
setup=$(realpath "$1")
work=$(realpath -m "$2")
plugins=$(realpath "$3")

if [[ ${BRINDLECOT_IN_NAMESPACE:-} != 1 ]]; then
    if [[ $(id -u) == 0 ]] && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
        exec unshare --net -- env BRINDLECOT_IN_NAMESPACE=1 BRINDLECOT_OWN_NETWORK=1 bash "$0" "$@"
    fi
    exec env BRINDLECOT_IN_NAMESPACE=1 BRINDLECOT_OWN_NETWORK=0 bash "$0" "$@"
fi
if [[ $BRINDLECOT_OWN_NETWORK == 1 ]]; then
    ip link set lo up
    dropped=-sys_time
else
    dropped=-sys_time,-net_bind_service
fi

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko download prompt while the prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() { timeout 30 wineserver -k 2>/dev/null || true; }
trap cleanup EXIT

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }
# Every Wine call is bounded in time.
wine_() { local limit=$1; shift; timeout "$limit" setpriv --bounding-set "$dropped" -- wine "$@"; }

echo "Making the Wine prefix"
timeout 180 setpriv --bounding-set "$dropped" -- wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; exit 1; }
# The next start must not meet the boot's Wine server as it ends.
timeout 60 wineserver -w
# Qt's platform for every program of this prefix: Wine hands the Unix QT_* variables to no
# Windows program.
for setting in "QT_QPA_PLATFORM=offscreen" "QT_PLUGIN_PATH=$(winepath -w "$plugins")"; do
    wine_ 60 reg add 'HKCU\Environment' /v "${setting%%=*}" /d "${setting#*=}" /f >"$work/reg.log" 2>&1 \
        || { cat "$work/reg.log" >&2; echo "FAIL: reg add $setting" >&2; exit 1; }
done
# Windows always runs its Task Scheduler; Wine starts it only when asked, and not while the
# prefix is still being made.
for attempt in $(seq 10); do
    wine_ 60 net start schedule >/dev/null 2>&1 && break
    (( attempt < 10 )) || fail "Wine's Task Scheduler service does not start"
    sleep 1
done

drive=$WINEPREFIX/drive_c
folder='C:\Test Apps\Brindlecot'
unix_folder="$drive/Test Apps/Brindlecot"
data="$drive/ProgramData/Brindlecot"
menu_entry="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Brindlecot.lnk"
task="$drive/windows/system32/tasks/Brindlecot"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brindlecot'
program="$folder\\bin\\brindlecot.exe"

# The setup asks for an administrator's rights, so Wine starts it anew, elevated, and the
# first start returns at once: the wait is for every process of the prefix to end. /D=
# must come last and unquoted, so the command line goes through cmd as it stands.
install() {
    echo "Installing: $(basename "$setup") /S $* /D=$folder"
    local status=0
    wine_ 60 cmd /c "$(winepath -w "$setup") /S $* /D=$folder" || status=$?
    [[ $status == 0 ]] || fail "the silent install ended with status $status"
    timeout 300 wineserver -w || fail "the setup did not end within 300 s"
}

# The uninstaller copies itself away and starts the copy: again the wait is for every
# process of the prefix to end.
uninstall() {
    echo "Uninstalling: uninstall.exe /S $*"
    [[ -f "$unix_folder/uninstall.exe" ]] || { fail "no uninstall.exe"; return; }
    local status=0
    wine_ 120 "$folder\\uninstall.exe" /S "$@" || status=$?
    [[ $status == 0 ]] || fail "the silent uninstall ended with status $status"
    timeout 120 wineserver -w || fail "the uninstaller did not end within 120 s"
}

# What the uninstaller must leave of the data folder: the given names, or no folder.
check_left() {
    local want=$1 have=""
    [[ -d "$data" ]] && have=$(cd "$data" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ')
    if [[ -e "$unix_folder" ]]; then
        fail "the installation folder is still there: $(find "$unix_folder" | head -5 | tr '\n' ' ')"
    fi
    if [[ -e "$menu_entry" ]]; then fail "the Start menu entry is still there"; fi
    if [[ -e "$task" ]]; then fail "the log-on task is still there"; fi
    if wine_ 60 reg query "$key" >/dev/null 2>&1; then fail "the uninstall key is still there"; fi
    if [[ -z "$want" && -d "$data" ]]; then
        fail "the data folder is still there: $have"
    elif [[ -n "$want" && "$have" != "$want " ]]; then
        fail "the data folder holds \"$have\", not \"$want\""
    fi
}

# The data file's layout is in src/servers/DataFile.h: version 7, eight reserved bytes,
# the legacy flag and an empty legacy path, the interval code (3, a day), then the host
# block: its version (2), the count, and each record's name, path, active flag, status,
# last-poll date and error. One server, on loopback.
write_data_file() {
    mkdir -p "$data"
    perl -e 'my $h = "127.0.0.1";
             print pack("v a8 v V V", 7, "\0" x 8, 0, 0, 3), pack("v V", 2, 1),
                   pack("v/a* v/a* v v d< V", $h, $h, 1, 0, 0, 0);' > "$data/Brindlecot.dat"
}

# The log-on task as the setup registered it (its copy in the installation folder, UTF-16):
# Wine's Task Scheduler keeps the task's name, description and settings, but drops the
# trigger, the principal and the action, which it does not implement.
task_xml() { iconv -f UTF-16 -t UTF-8 "$unix_folder/logon-task.xml"; }
check_task() {
    if [[ ! -f "$task" ]] || ! grep -q "Starts Brindlecot" "$task"; then
        fail "no log-on task registered ($task)"
    fi
    local xml part
    xml=$(task_xml) || { fail "no logon-task.xml"; return; }
    for part in "<LogonTrigger>" "<ExecutionTimeLimit>PT0S</ExecutionTimeLimit>" \
                "<Command>\"$folder\\bin\\brindlecot.exe\"</Command>" "$@"; do
        grep -qF -- "$part" <<<"$xml" || fail "the log-on task lacks $part"
    done
}

# --- The default install: log-on start for every account with its own rights ---
install

for file in bin/brindlecot.exe bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Network.dll \
            bin/Qt6Svg.dll bin/platforms/qwindows.dll bin/imageformats/qsvg.dll bin/iconengines/qsvgicon.dll \
            bin/styles/qwindowsvistastyle.dll bin/libgcc_s_seh-1.dll bin/libstdc++-6.dll bin/libwinpthread-1.dll \
            share/brindlecot/help/index.htm share/brindlecot/help/setup.htm share/brindlecot/web/index.htm \
            LICENSE.txt licenses/LGPL-3.txt licenses/THIRD-PARTY.txt brindlecot.ico uninstall.exe; do
    [[ -f "$unix_folder/$file" ]] || fail "not installed: $file"
done
[[ -f "$menu_entry" ]] || fail "no Start menu entry"
[[ -d "$data" ]] || fail "no data folder $data"

# Every DLL that the program and its plugins import is installed beside it or is one of
# the system's (in the prefix's system32).
objdump=$(command -v x86_64-w64-mingw32-objdump || true)
if [[ -z $objdump ]]; then
    fail "x86_64-w64-mingw32-objdump is missing (Debian's binutils-mingw-w64-x86-64)"
else
    system=$(ls "$drive/windows/system32" | tr 'A-Z' 'a-z')
    ours=$(ls "$unix_folder/bin" | tr 'A-Z' 'a-z')
    while IFS= read -r -d '' binary; do
        # api-ms-win-* names are API sets, which the system's loader maps to its own DLLs.
        for dll in $("$objdump" -p "$binary" | awk '/DLL Name:/ && !/api-ms-win-/ { print tolower($3) }'); do
            grep -qxF "$dll" <<<"$ours" || grep -qxF "$dll" <<<"$system" \
                || fail "${binary#"$unix_folder/"} needs $dll, which is neither installed nor in system32"
        done
    done < <(find "$unix_folder/bin" -iname '*.exe' -print0 -o -iname '*.dll' -print0)
fi

# reg prints each value as: name, type and data apart by runs of blanks.
entry=$(wine_ 60 reg query "$key" 2>/dev/null | tr -d '\r' | sed -E 's/^ +//; s/ {2,}/|/g' || true)
for value in "DisplayName|REG_SZ|Brindlecot" "DisplayVersion|REG_SZ|" "Publisher|REG_SZ|Brindlecot maintainers" \
             "UninstallString|REG_SZ|\"$folder\\uninstall.exe\"" \
             "QuietUninstallString|REG_SZ|\"$folder\\uninstall.exe\" /S" "EstimatedSize|REG_DWORD|0x"; do
    grep -qF -- "$value" <<<"$entry" || fail "the uninstall key lacks \"$value\": $entry"
done

check_task "<GroupId>S-1-5-32-545</GroupId>" "<RunLevel>LeastPrivilege</RunLevel>"

# --- The installed program, headless ---
version=$(wine_ 60 "$program" --version 2>/dev/null | tr -d '\r' || true)
grep -q '^brindlecot [0-9]' <<<"$version" || fail "--version printed \"$version\""

write_data_file
echo "Starting the installed program"
wine_ 90 "$program" >"$work/program.out" 2>&1 &
running=$!
status_text=""
for _ in $(seq 40); do
    sleep 1
    status_text=$(wine_ 20 "$program" --status 2>/dev/null | tr -d '\r') && break
    status_text=""
done
echo "$status_text"
[[ -n $status_text ]] || fail "--status never reached the running copy; the program wrote: $(head -c 600 "$work/program.out")"
if [[ -n $status_text ]]; then
    grep -qxE "Active servers: +1 of 1" <<<"$status_text" || fail "the program did not read the data file in $data"
    grep -qxE "Interval: +day" <<<"$status_text" || fail "--status lacks \"Interval: day\""
fi
quit=0
wine_ 30 "$program" --quit >/dev/null 2>&1 || quit=$?
[[ $quit == 0 ]] || fail "--quit ended with status $quit"
wait "$running" || fail "the program did not end cleanly after --quit (status $?)"
[[ -f "$data/Brindlecot.dat" ]] || fail "the data file is gone after the program ended"

uninstall
check_left "Brindlecot.dat"

# --- Administrators set the clock; the uninstaller purges the data file ---
install /ADMINCLOCK /NOLOGON
check_task "<GroupId>S-1-5-32-544</GroupId>" "<RunLevel>HighestAvailable</RunLevel>"
[[ -f "$data/Brindlecot.lock" ]] || fail "no lock file made ready for standard accounts"
[[ -f "$data/Brindlecot.dat" ]] || fail "the install lost the data file"
uninstall /PURGE
check_left ""

echo "Installer: $(stat -c %s "$setup") bytes"
exit $failed
