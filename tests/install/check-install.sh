#!/usr/bin/env bash
# Installs the build into a temporary folder (DESTDIR, so nothing outside it is touched),
# compares the files with the expected list, and runs Debian's checkers on the desktop
# entries, the AppStream metainfo, the man page and the systemd unit.
#   check-install.sh build-folder expected-files
set -euo pipefail
build=$1
expected=$2

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
DESTDIR=$root cmake --install "$build" >/dev/null

failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

want=$(grep -v -e '^#' -e '^[[:space:]]*$' "$expected" | sort)
have=$(cd "$root" && find . -type f -o -type l | sed 's|^\.||' | sort)
if [[ "$want" != "$have" ]]; then
    fail "installed files differ from $expected (- expected, + installed):"
    diff <(echo "$want") <(echo "$have") | grep '^[<>]' | sed 's/^</-/; s/^>/+/' >&2 || true
fi

file() { printf '%s%s' "$root" "$(grep -m1 -e "$1" <<<"$want")"; }

for entry in "$(file '/applications/brindlecot.desktop$')" "$(file '/autostart/brindlecot.desktop$')"; do
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
done
# The autostart entry runs only where the helper may be run (see packaging/).
grep -qx "TryExec=$(grep -m1 -e '/brindlecot-clock$' <<<"$want")" "$(file '/autostart/brindlecot.desktop$')" \
    || fail "the autostart entry has no TryExec= naming the helper"

# The menu entry's launcher actions pass their command to the running copy.
menu_entry=$(file '/applications/brindlecot.desktop$')
for action in "synchronize-now:Synchronize Now:--sync-now" "pause:Pause Synchronization:--pause" \
              "resume:Resume Synchronization:--resume" "exit:Exit:--quit"; do
    IFS=: read -r id name option <<<"$action"
    grep -qx "Actions=synchronize-now;pause;resume;exit;" "$menu_entry" \
        && grep -A2 -x "\[Desktop Action $id\]" "$menu_entry" | grep -qx "Name=$name" \
        && grep -A2 -x "\[Desktop Action $id\]" "$menu_entry" | grep -qx "Exec=brindlecot $option" \
        || fail "the menu entry has no action \"$name\" running brindlecot $option"
done

appstreamcli validate --no-net "$(file '\.metainfo\.xml$')" >/dev/null || {
    appstreamcli validate --no-net "$(file '\.metainfo\.xml$')" >&2
    fail "appstreamcli validate"
}

page=$(file '/man1/brindlecot\.1\.gz$')
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || fail "man --warnings: $warnings"
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | col -b)
for state in "Looking for a time server..." "Synchronized on date at time" "Time synchronization is paused" \
             "Time is off by more than 30 minutes - adjust manually" "Could not find local time zone" \
             "Error (N) when time received from server" "systemd-timesyncd"; do
    grep -qF -- "$state" <<<"$text" || fail "the man page lacks \"$state\""
done

# The unit refers to the installed program, so it is verified with that path in place.
unit=$(file '/brindlecot\.service$')
program=$(grep -m1 '/bin/brindlecot$' <<<"$want")
sed "s|^ExecStart=.*|ExecStart=$root$program|" "$unit" > "$root/brindlecot.service"
if ! out=$(SYSTEMD_LOG_LEVEL=warning systemd-analyze verify --man=no "$root/brindlecot.service" 2>&1) || [[ -n "$out" ]]; then
    fail "systemd-analyze verify: $out"
fi

exit $failed
