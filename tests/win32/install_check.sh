#!/usr/bin/env bash
# install_check.sh MSI JOB PORT: tolv.msi as an administrator uses it, in the test session's wine
# prefix. A silent install into a chosen folder (the exe, README and sample forms side by side,
# the event source, a Programs and Features entry), a job printed from that folder, and a silent
# uninstall that removes what the package installed and leaves the operator's files.
set -euo pipefail
msi=$1 job=$2 port=$3
fail() { echo "FAIL: $*"; exit 1; }
winpath() { printf 'Z:%s' "${1//\//\\}"; }
query() { wine reg query "$1" </dev/null 2>/dev/null | tr -d '\r'; }
exists() { wine reg query "$1" </dev/null >/dev/null 2>&1; }
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
event_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\tolv'

dir=$(mktemp -d /tmp/tolv-install.XXXXXX)
trap 'wine msiexec /x "$(winpath "$msi")" /qn </dev/null >/dev/null 2>&1 || true; rm -rf "$dir"' EXIT
target="$dir/Tolv Folder"
wine msiexec /i "$(winpath "$msi")" /qn INSTALLDIR="$(winpath "$target")" </dev/null >/dev/null 2>&1 ||
  fail "msiexec /i: status $?"
for f in tolv.exe README.txt KORDEL1A.GFX KORDEL1A.DAT KORDEL7A.GFX KORDEL7A.DAT; do
  [[ -f $target/$f ]] || fail "not installed: $f"
done
query "$event_key" | grep -qiF "EventMessageFile    REG_SZ    $(winpath "$target")\\tolv.exe" ||
  fail "event source: $(query "$event_key")"
product=$(query "$uninstall_key" | grep -o '{[0-9A-F-]*}' | while read -r id; do
  query "$uninstall_key\\$id" | grep -q 'DisplayName    REG_SZ    tolv$' && echo "$id"; done)
[[ -n $product ]] || fail "no Programs and Features entry"
entry=$(query "$uninstall_key\\$product")
grep -q 'Publisher    REG_SZ    tolv developers' <<<"$entry" || fail "publisher: $entry"
grep -qE 'DisplayVersion    REG_SZ    [0-9]+\.[0-9]+\.[0-9]+' <<<"$entry" || fail "version: $entry"

# A job printed from the installed folder.
rm -f "$port"
cp "$job" "$target/ZOBAX.QJT"
(cd "$target" && wine ./tolv.exe </dev/null >"$dir/out" 2>&1) || fail "tolv.exe: $(cat "$dir/out")"
[[ -s $port ]] || fail "nothing printed from the installed folder"

# The operator's own files: a job, the configuration, a kept document.
echo "[INFO]" >"$target/ZOBAX.QJT"
echo "[queue]" >"$target/tolv.conf"
echo "kept" >"$target/ZOBAX.EMF"
wine msiexec /x "$(winpath "$msi")" /qn </dev/null >/dev/null 2>&1 || fail "msiexec /x: status $?"
left=$(cd "$target" && ls | sort | tr '\n' ' ')
[[ $left == "ZOBAX.EMF ZOBAX.QJT tolv.conf " ]] || fail "left after uninstall: $left"
! exists "$event_key" || fail "the event source stayed"
! exists "$uninstall_key\\$product" || fail "the Programs and Features entry stayed"
echo "installed, printed and uninstalled; left: $left"
