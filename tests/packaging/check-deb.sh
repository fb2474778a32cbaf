#!/usr/bin/env bash
# check-deb.sh [DEB]: checks the Debian package that `make deb` made: its control
# fields, its file list, lintian (no errors), and the programs it carries, run
# from a throw-away folder it is unpacked into. Run after `make deb`.
set -uo pipefail
cd "$(dirname "$0")/../.."
deb=${1:-build/release/tarvik_1.4.2_$(dpkg --print-architecture).deb}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passes=0 failures=0
ok() { echo "ok - $1"; passes=$((passes + 1)); }
bad() { echo "not ok - $1"; failures=$((failures + 1)); }
check() { # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then ok "$name"; else bad "$name"; fi
}

[[ -f "$deb" ]] || { echo "no package at $deb (run make deb first)"; echo "check-deb: 0 passed, 1 failed"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||; s|/$||' | sort > "$work/list"
has_app=0
grep -qx 'usr/bin/tarvik' "$work/list" && has_app=1

check "package name" test "$(field Package)" = tarvik
check "version" test "$(field Version)" = 1.4.2
check "architecture" test "$(field Architecture)" = "$(dpkg --print-architecture)"
check "depends on openssh-client" grep -qw openssh-client <<< "$(field Depends)"
check "library dependencies from dpkg-shlibdeps" grep -q 'libc6 (>=' <<< "$(field Depends)"
check "depends on libssh" grep -q 'libssh' <<< "$(field Depends)"
check "recommends colour emoji" grep -qw fonts-noto-color-emoji <<< "$(field Recommends)"

expected=(usr/bin/tarvik-headless usr/bin/tarvik-replay usr/bin/tarvik-key usr/libexec/tarvik/skiv
  usr/share/doc/tarvik/copyright usr/share/doc/tarvik/changelog.gz)
for page in tarvik-headless tarvik-replay skiv tarvik-key; do expected+=("usr/share/man/man1/$page.1.gz"); done
if ((has_app)); then
  expected+=(usr/bin/tarvik usr/share/applications/tarvik.desktop usr/share/metainfo/tarvik.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/tarvik.svg usr/share/man/man1/tarvik.1.gz
    usr/share/tarvik/Fonts/LICENSE usr/share/tarvik/Fonts/DejaVuSansMono.ttf)
  for size in 16 32 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x${size}/apps/tarvik.png"); done
else
  echo "# the package carries no tarvik executable: launcher, icons and the alternative are not checked"
fi
missing=()
for f in "${expected[@]}"; do grep -qx "$f" "$work/list" || missing+=("$f"); done
check "file list has the layout${missing:+ (missing: ${missing[*]})}" test ${#missing[@]} -eq 0
check "nothing outside /usr" test -z "$(grep -v '^usr\(/\|$\)' "$work/list" | grep -v '^\.\?$')"

lintian --tag-display-limit 0 --display-info "$deb" > "$work/lintian" 2>&1
errors=$(grep -c '^E: ' "$work/lintian")
echo "# lintian: $errors errors, $(grep -c '^W: ' "$work/lintian") warnings, $(grep -c '^I: ' "$work/lintian") notes"
sed 's/^/#   /' "$work/lintian"
check "lintian reports no errors" test "$errors" -eq 0

dpkg -x "$deb" "$work/root"
usr=$work/root/usr
out=$("$usr/bin/tarvik-headless" -- /bin/echo hi 2>&1)
check "unpacked tarvik-headless -- /bin/echo hi" grep -qx 'hi *' <<< "$out"
check "unpacked skiv -V" grep -q '^skiv ' <<< "$("$usr/libexec/tarvik/skiv" -V 2>&1)"
check "unpacked programs are stripped" test -z "$(file "$usr"/bin/* "$usr"/libexec/tarvik/* | grep 'not stripped')"

if ((has_app)); then
  check "unpacked tarvik --version" test "$("$usr/bin/tarvik" --version 2>&1)" = "Tarvik 1.4.2"
  check "provides x-terminal-emulator" grep -qw x-terminal-emulator <<< "$(field Provides)"
  dpkg-deb -e "$deb" "$work/control"
  check "postinst registers the alternative" grep -q 'update-alternatives --install /usr/bin/x-terminal-emulator' "$work/control/postinst"
  if bash tests/packaging/check-alternatives.sh "$work/control" > "$work/alternatives" 2>&1; then
    ok "the alternative's scripts run"
  else
    bad "the alternative's scripts run"
    sed 's/^/#   /' "$work/alternatives"
  fi
  check "installed desktop entry validates" desktop-file-validate "$usr/share/applications/tarvik.desktop"
  check "installed AppStream data validates" appstreamcli validate --no-net "$usr/share/metainfo/tarvik.metainfo.xml"
fi

echo "check-deb: $passes passed, $failures failed"
((failures == 0))
