#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what lands under the
# prefix: the programs, the desktop entry, the metadata, the icons, the
# compressed manual pages, the shell completion, the copyright and changelog,
# and the user unit, with their validators. Exits 77 (skipped) when all that
# ran passed but a validator is missing.
# Usage: install-layout.sh BUILD_DIR PREFIX VERSION APP_ID
set -uo pipefail
build=$1 prefix=$2 version=$3 id=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0 missing=()
fail() { echo "FAIL: $*"; failed=1; }
have() { command -v "$1" >/dev/null || { missing+=("$1"); return 1; }; }

DESTDIR="$tmp/root" cmake --install "$build" >"$tmp/install.log" || { cat "$tmp/install.log"; exit 1; }
root="$tmp/root$prefix"
cd "$root" || exit 1

for file in bin/QuilletInetTool bin/quillet-transfer bin/quillet-demo-service; do
    [ -x "$file" ] || fail "$file is not installed as a program"
done
desktop=share/applications/$id.desktop metainfo=share/metainfo/$id.metainfo.xml
unit=lib/systemd/user/quillet-watch@.service
completion=share/bash-completion/completions/quillet-transfer
doc=share/doc/quillet-inet-tool
for file in "$desktop" "$metainfo" "$unit" "$completion" "share/icons/hicolor/scalable/apps/$id.svg" \
    "$doc/copyright" "$doc/changelog.gz"; do
    [ -f "$file" ] || fail "$file is not installed"
done
# A manual page for each program, compressed.
for program in QuilletInetTool quillet-transfer quillet-demo-service; do
    gzip -t "share/man/man1/$program.1.gz" 2>/dev/null || fail "no compressed manual page for $program"
done
# Each PNG in the folder of its size: width and height from the IHDR chunk.
for size in 16 24 32 48 64 128 256; do
    png=share/icons/hicolor/${size}x${size}/apps/$id.png
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png" 2>/dev/null)
    [ "${w:-}x${h:-}" = "${size}x${size}" ] || fail "$png is ${w:-?}x${h:-?}"
done
# The entry starts an installed program and names the installed icon.
exec_=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[ -x "bin/$exec_" ] || fail "Exec=$exec_ is not an installed program"
grep -qx "Icon=$id" "$desktop" || fail "Icon= is not $id"

# Program, argument, what the first line of its output starts with.
while read -r program argument expected; do
    # Without a display: the window program answers these without one.
    line=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "bin/$program" "$argument" 2>&1 | head -1)
    [[ $line == "$expected"* ]] || fail "$program $argument printed: $line"
done <<EOF
quillet-transfer --version quillet-transfer $version
quillet-demo-service --version quillet-demo-service $version
quillet-transfer --help Usage: quillet-transfer
quillet-demo-service --help Usage:
QuilletInetTool --version QuilletInetTool $version
QuilletInetTool --help Usage: QuilletInetTool
QuilletInetTool --no-such-option QuilletInetTool: unexpected argument --no-such-option; see --help
EOF

# Installed, the profiles are the user's, even for root, who could write
# beside the program.
env -u XDG_DATA_HOME -u QUILLET_PROFILES_FOLDER HOME="$tmp/home" bin/quillet-transfer profile "Nobody Here" >/dev/null 2>&1
[ ! -e bin/Profiles ] || fail "bin/Profiles was created"
[ -d "$tmp/home/.local/share/QuilletInetTool/Profiles" ] || fail "no per-user Profiles folder"

# The completion offers the commands, then the profiles of the Profiles
# folder, a name with a blank as one word.
mkdir -p "$tmp/profiles" && touch "$tmp/profiles/Ann Smith.xml"
completed=$(QUILLET_PROFILES_FOLDER="$tmp/profiles" bash -c '
    . "$1"
    complete_() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quillet_transfer; printf "[%s]" "${COMPREPLY[@]}"; }
    complete_ quillet-transfer f; complete_ quillet-transfer -q watch An' - "$completion" 2>&1)
[ "$completed" = "[fetch][Ann Smith]" ] || fail "completion: $completed"

if have groff; then
    for page in share/man/man1/*.1.gz; do
        warnings=$(zcat "$page" | groff -man -ww -z 2>&1)
        [ -z "$warnings" ] || fail "groff $page: $warnings"
    done
fi
if have desktop-file-validate; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if have appstreamcli; then
    appstreamcli validate --no-net "$metainfo" >"$tmp/as.log" || { cat "$tmp/as.log"; fail "appstreamcli"; }
fi
if have systemd-analyze; then
    # The unit's program and manual page, looked for in the DESTDIR.
    mkdir -m 700 "$tmp/run"
    sed "s|^ExecStart=/|ExecStart=$tmp/root/|" "$unit" >"$tmp/run/quillet-watch@.service"
    report=$(XDG_RUNTIME_DIR="$tmp/run" MANPATH="$root/share/man" \
        systemd-analyze --user verify "$tmp/run/quillet-watch@.service" 2>&1)
    [ $? -eq 0 ] && [ -z "$report" ] || fail "systemd-analyze verify: $report"
fi

[ $failed -eq 0 ] || exit 1
if [ ${#missing[@]} -gt 0 ]; then
    echo "skipped: ${missing[*]} not installed"
    exit 77
fi
echo "install layout passed"
