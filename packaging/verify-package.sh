#!/usr/bin/env bash
# Checks a built tavrel .deb the way an operator would use it: its metadata and
# files, then `apt-get install ./tavrel_*.deb` and `tavrel --check` in a fresh
# Debian 12 root made with debootstrap. When no such root can be made (not
# root, no debootstrap, no mirror) it says why and checks what it can on this
# machine instead: a simulated install and the unpacked binary.
# Usage: packaging/verify-package.sh build/package/tavrel_<version>_<arch>.deb
set -euo pipefail

deb=${1:?usage: verify-package.sh PACKAGE.deb}
[[ -f "$deb" ]] || { echo "verify-package: no such file: $deb" >&2; exit 2; }
deb=$(realpath "$deb")
app_id=app.tavrel.Tavrel

fail() { echo "verify-package: FAIL: $*" >&2; exit 1; }
say() { echo "verify-package: $*"; }
seconds_since() { echo $(( $(date +%s) - $1 )); }

work=$(mktemp -d "${TMPDIR:-/tmp}/tavrel-package-check.XXXXXX")
root="$work/root"
cleanup() {
    # A mounted /proc must go before the folder holding it is removed.
    if mountpoint -q "$root/proc" 2>/dev/null; then umount "$root/proc" || true; fi
    rm -rf --one-file-system "$work"
}
trap cleanup EXIT

# The binary must pass the pre-show check on an empty library and write nothing.
check_binary() {  # LIBRARY (as tavrel sees it) LIBRARY_HERE (as this script sees it) RUNNER...
    local library=$1 library_here=$2 output
    shift 2
    output=$("$@" env TAVREL_LIBRARY_DIR="$library" tavrel --check 2>&1) ||
        fail "tavrel --check failed: $output"
    grep -q "Tavrel 공연 전 점검" <<<"$output" || fail "unexpected --check output: $output"
    [[ ! -e "$library_here" ]] || fail "tavrel --check wrote $library_here"
    output=$("$@" tavrel --version 2>&1) || fail "tavrel --version failed: $output"
    grep -Eq '^Tavrel [0-9]+\.[0-9]+\.[0-9]+$' <<<"$output" || fail "unexpected --version: $output"
    say "tavrel --check and --version ran: $output"
}

# 1. Metadata and contents.
info=$(dpkg-deb --info "$deb")
field() { sed -n "s/^ $1: //p" <<<"$info"; }
[[ "$(field Package)" == tavrel ]] || fail "package name is '$(field Package)'"
[[ "$(field Section)" == sound ]] || fail "section is '$(field Section)'"
depends=$(field Depends)
for library in libc6 libstdc++6 libqt6widgets6 libavformat59 libportaudio2; do
    grep -q "$library" <<<"$depends" || fail "Depends lacks $library (not computed?): $depends"
done
say "Depends: $depends"
contents=$(dpkg-deb --contents "$deb" | awk '{print $6}')
for file in ./usr/bin/tavrel ./usr/share/applications/$app_id.desktop \
    ./usr/share/metainfo/$app_id.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/$app_id.svg; do
    grep -qxF "$file" <<<"$contents" || fail "the package does not install $file"
done
say "metadata and files are right"

# 2. This machine: the install is satisfiable and the unpacked binary runs.
if command -v apt-get >/dev/null; then
    apt-get install --simulate -qq "$deb" >"$work/simulate.log" 2>&1 ||
        fail "apt-get install --simulate: $(cat "$work/simulate.log")"
    say "apt-get install --simulate ./$(basename "$deb") is satisfiable here"
fi
dpkg-deb -x "$deb" "$work/unpacked"
check_binary "$work/library" "$work/library" env PATH="$work/unpacked/usr/bin:$PATH"

# 3. A clean Debian 12.
why_not=""
if [[ $(id -u) -ne 0 ]]; then
    why_not="debootstrap and chroot need root"
elif ! command -v debootstrap >/dev/null; then
    why_not="debootstrap is not installed (apt-get install debootstrap)"
fi
# The mirror apt already uses here, so no other host is ever contacted.
mirror=$( {
    awk 'BEGIN { RS = "" }
        /(^|\n)Suites:[^\n]*[ \t]bookworm([ \t]|\n|$)/ && match($0, /URIs:[ \t]*[^ \t\n]+/) {
            uri = substr($0, RSTART, RLENGTH); sub(/URIs:[ \t]*/, "", uri); print uri }' \
        /etc/apt/sources.list.d/*.sources 2>/dev/null
    awk '$1 == "deb" { for (i = 2; i < NF; ++i) if ($(i + 1) == "bookworm" && $i !~ /^\[/) print $i }' \
        /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null
} | head -n 1 || true)
[[ -z "$why_not" && -z "$mirror" ]] && why_not="no Debian mirror found in /etc/apt/sources.list*"

if [[ -n "$why_not" ]]; then
    say "NOT checked in a clean Debian 12 root: $why_not"
    say "checked only on this machine (simulated install, unpacked binary)"
    exit 0
fi

start=$(date +%s)
say "debootstrap bookworm from $mirror"
if ! debootstrap --variant=minbase bookworm "$root" "$mirror" >"$work/debootstrap.log" 2>&1; then
    tail -n 20 "$work/debootstrap.log" >&2
    fail "debootstrap could not make a Debian 12 root"
fi
bootstrapped=$(seconds_since "$start")

start=$(date +%s)
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update -qq >"$work/apt.log" 2>&1 || fail "apt-get update: $(tail "$work/apt.log")"
DEBIAN_FRONTEND=noninteractive in_root apt-get install -y -qq --no-install-recommends \
    "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1 ||
    fail "apt-get install in the clean root: $(tail -n 20 "$work/apt.log")"
installed=$(seconds_since "$start")
say "installed with $(in_root dpkg-query -W -f='${binary:Package} ${Version}' tavrel)" \
    "and $(in_root dpkg-query -W -f='.\n' | wc -l) packages in all"
check_binary /tmp/tavrel-library "$root/tmp/tavrel-library" in_root
say "clean Debian 12 root: debootstrap ${bootstrapped} s, apt-get install ${installed} s"
