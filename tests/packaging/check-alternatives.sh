#!/usr/bin/env bash
# check-alternatives.sh DIR: runs the package's postinst and prerm from DIR on a
# throw-away root (update-alternatives honours DPKG_ROOT) and checks that Tarvik
# becomes x-terminal-emulator only where no desktop terminal ranks higher, that
# an upgrade keeps the entry and that removal withdraws it.
set -euo pipefail
dir=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
export DPKG_ROOT=$root
mkdir -p "$root/usr/bin" "$root/usr/share/man/man1" "$root/etc/alternatives" "$root/var/lib/dpkg/alternatives"
: > "$root/usr/bin/tarvik"
: > "$root/usr/share/man/man1/tarvik.1.gz"
: > "$root/usr/bin/desktop-terminal"

passes=0 failures=0
check() { # check NAME EXPECTED ACTUAL
  if [[ "$2" == "$3" ]]; then echo "ok - $1"; passes=$((passes + 1)); else echo "not ok - $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi
}
value() { update-alternatives --root "$root" --query x-terminal-emulator 2>/dev/null | sed -n 's/^Value: //p'; }
priority() {
  update-alternatives --root "$root" --query x-terminal-emulator 2>/dev/null |
    awk '/^Alternative: \/usr\/bin\/tarvik$/ { found = 1; next } found && /^Priority:/ { print $2; exit }'
}

[[ -f "$dir/postinst" && -f "$dir/prerm" ]] || { echo "no maintainer scripts in $dir"; exit 1; }
grep -q '@' "$dir/postinst" && { echo "postinst has an unreplaced placeholder"; exit 1; }

sh "$dir/postinst" configure > /dev/null
check "postinst registers tarvik" /usr/bin/tarvik "$(value)"
check "priority" 20 "$(priority)"
check "manual page follows" /usr/share/man/man1/tarvik.1.gz "$(readlink "$root/etc/alternatives/x-terminal-emulator.1.gz")"

# A desktop's own terminal registered at the usual priority wins in auto mode.
update-alternatives --install /usr/bin/x-terminal-emulator x-terminal-emulator /usr/bin/desktop-terminal 40 > /dev/null
check "desktop terminal ranks higher" /usr/bin/desktop-terminal "$(value)"
sh "$dir/postinst" configure > /dev/null
check "reconfiguring keeps the desktop's choice" /usr/bin/desktop-terminal "$(value)"

sh "$dir/prerm" upgrade 1.4.2 > /dev/null
check "upgrade keeps the entry" 20 "$(priority)"
sh "$dir/prerm" remove > /dev/null
check "remove withdraws the entry" "" "$(priority)"
check "the desktop terminal stays" /usr/bin/desktop-terminal "$(value)"

echo "alternatives: $passes passed, $failures failed"
((failures == 0))
