#!/usr/bin/env bash
# check-tree.sh CHECK ROOT SOURCE BUILD HAS_APP HAS_FONTS: one check of the tree
# that install-tree.sh installed under ROOT. Exit 77 marks a skipped check.
set -euo pipefail
check=$1 root=$2 source=$3 build=$4 has_app=$5 has_fonts=$6
here=$(cd "$(dirname "$0")" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
usr=$root/usr

app_files=(
  bin/tarvik
  share/applications/tarvik.desktop
  share/metainfo/tarvik.metainfo.xml
  share/icons/hicolor/scalable/apps/tarvik.svg
  share/man/man1/tarvik.1.gz
)
for size in 16 32 48 64 128 256; do app_files+=("share/icons/hicolor/${size}x${size}/apps/tarvik.png"); done
font_files=(share/tarvik/Fonts/LICENSE share/tarvik/Fonts/DejaVuSansMono.ttf share/tarvik/Fonts/DejaVuSansMono-Bold.ttf
  share/tarvik/Fonts/DejaVuSansMono-Oblique.ttf share/tarvik/Fonts/DejaVuSansMono-BoldOblique.ttf)
programs=(bin/tarvik-headless bin/tarvik-replay bin/tarvik-key libexec/tarvik/skiv)

# The desktop entry and AppStream file as installed, or from the sources when
# this tree has no window program to install them for.
desktop_file() { if ((has_app)); then echo "$usr/share/applications/tarvik.desktop"; else echo "$source/packaging/tarvik.desktop"; fi; }
metainfo_file() { if ((has_app)); then echo "$usr/share/metainfo/tarvik.metainfo.xml"; else echo "$build/packaging/tarvik.metainfo.xml"; fi; }

case $check in
layout)
  [[ -d "$usr" ]] || fail "nothing installed under $root"
  outside=$(find "$root" -mindepth 1 -maxdepth 1 ! -name usr -printf '%P\n')
  [[ -z "$outside" ]] || fail "installed outside the prefix: $outside"
  expected=("${programs[@]}" share/doc/tarvik/copyright share/doc/tarvik/changelog.gz)
  for page in tarvik-headless tarvik-replay skiv tarvik-key; do expected+=("share/man/man1/$page.1.gz"); done
  ((has_app)) && expected+=("${app_files[@]}")
  ((has_fonts)) && expected+=("${font_files[@]}")
  for f in "${expected[@]}"; do [[ -e "$usr/$f" ]] || fail "missing $f"; done
  if ! ((has_app)); then
    for f in "${app_files[@]}"; do [[ ! -e "$usr/$f" ]] || fail "$f installed without the window program"; done
  fi
  for f in "${programs[@]}" $( ((has_app)) && echo bin/tarvik); do
    [[ -x "$usr/$f" ]] || fail "$f is not executable"
  done
  # Data files are readable by everyone and executable by no one.
  bad=$(find "$usr/share" -type f \( -perm /111 -o ! -perm -444 \) -printf '%P\n')
  [[ -z "$bad" ]] || fail "wrong permissions on: $bad"
  # Fonts installed once: nothing in the tree is a second copy of a font file.
  [[ $(find "$usr" -name 'DejaVuSansMono.ttf' | wc -l) -le 1 ]] || fail "a font is installed twice"
  find "$root" -mindepth 1 -printf '%P\n' | sort
  ;;
desktop)
  file=$(desktop_file)
  desktop-file-validate "$file"
  /usr/bin/python3 "$here/desktop_entry.py" "$file"
  ;;
appstream)
  file=$(metainfo_file)
  appstreamcli validate --no-net "$file"
  grep -q '<release version="1.4.2"' "$file" || fail "no release 1.4.2 in $file"
  grep -q '<launchable type="desktop-id">tarvik.desktop</launchable>' "$file" || fail "no launchable tarvik.desktop"
  grep -Eq '<image>[^<]*/shell-session\.png</image>' "$file" || fail "no screenshot"
  if [[ -d "$source/docs/screenshots" ]]; then
    for shot in $(grep -o '[^/]*\.png</image>' "$file" | sed 's/<.*//'); do
      [[ -f "$source/docs/screenshots/$shot" ]] || fail "screenshot $shot is not in docs/screenshots"
    done
  fi
  ;;
manuals)
  for page in "$usr"/share/man/man1/*.1.gz; do
    # The same check the package linter makes: any groff warning is a fault.
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 > /dev/null)
    [[ -z "$warnings" ]] || fail "$(basename "$page"): $warnings"
    name=$(basename "$page" .1.gz)
    zcat "$page" | grep -q "^$name \\\\- " || zcat "$page" | grep -q "^${name//-/\\\\-} \\\\- " ||
      fail "$name(1) has no NAME line for $name"
    zcat "$page" | grep -q '"Tarvik 1.4.2"' || fail "$name(1) does not carry the version"
  done
  # Every installed program has its page.
  for f in "$usr"/bin/* "$usr"/libexec/tarvik/*; do
    [[ -e "$usr/share/man/man1/$(basename "$f").1.gz" ]] || fail "no manual page for $(basename "$f")"
  done
  ;;
icons)
  ((has_app)) || { echo "SKIP: no window program, so no icons are installed"; exit 77; }
  for size in 16 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x${size}/apps/tarvik.png
    got=$(identify -format '%wx%h' "$png")
    [[ "$got" == "${size}x${size}" ]] || fail "$png is $got"
  done
  grep -q '<svg' "$usr/share/icons/hicolor/scalable/apps/tarvik.svg" || fail "the scalable icon is no SVG"
  ;;
programs)
  out=$("$usr/bin/tarvik-headless" -- /bin/echo hi)
  grep -qx 'hi *' <<< "$out" || fail "tarvik-headless -- /bin/echo hi printed: $out"
  [[ $("$usr/libexec/tarvik/skiv" -V) == skiv\ * ]] || fail "skiv -V"
  "$usr/bin/tarvik-replay" < /dev/null > /dev/null || fail "tarvik-replay on empty input"
  status=0
  err=$("$usr/bin/tarvik-key" 2>&1) || status=$?
  [[ $status -eq 2 && "$err" == "usage: tarvik-key "* ]] || fail "tarvik-key: status $status, said: $err"
  if ((has_app)); then
    [[ $("$usr/bin/tarvik" --version) == "Tarvik 1.4.2" ]] || fail "tarvik --version: $("$usr/bin/tarvik" --version)"
    for bad in --no-such-option -e; do
      status=0
      err=$("$usr/bin/tarvik" "$bad" 2>&1 > /dev/null) || status=$?
      [[ $status -eq 2 && "$err" == *"usage: tarvik "* ]] || fail "tarvik $bad: status $status, said: $err"
    done
  fi
  ;;
*) fail "unknown check $check" ;;
esac
echo "ok - $check"
