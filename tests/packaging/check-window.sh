#!/usr/bin/env bash
# check-window.sh TARVIK: `tarvik -e PROGRAM` under a real X server opens a tab
# running PROGRAM. The program prints "ok" and sets the terminal title; the title
# reaching the frame window shows that the tab's terminal took the program's output.
set -euo pipefail
tarvik=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME=$home XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

# xvfb-run starts its command even when its X server died at start-up, so the
# inner script first waits for the display; if it never answers, the check asks
# for one more server instead of blaming the app.
no_display=75
inner=$(cat <<'INNER'
set -euo pipefail
tarvik=$1 home=$2 no_display=$3
for _ in $(seq 100); do
  xwininfo -root >/dev/null 2>&1 && break
  sleep 0.1
done
xwininfo -root >/dev/null 2>&1 || { echo "no X display on $DISPLAY"; exit "$no_display"; }
marker=tarvik-window-check-$$
# The program stays alive on its terminal (cat waits for typed input) until the app is stopped.
"$tarvik" -e /bin/sh -c "printf 'ok\n\033]2;%s\007' $marker; echo ran > '$home/ran'; exec cat" &
app=$!
found=0
for _ in $(seq 200); do
  if xwininfo -root -tree 2>/dev/null | grep -q "$marker"; then found=1; break; fi
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
[[ -f "$home/ran" ]] || { echo "FAIL: the program given to -e did not run"; exit 1; }
((found)) || { echo "FAIL: no window shows the program's title"; exit 1; }
echo "ok - tarvik -e opened a tab running the program"
INNER
)

for attempt in 1 2; do
  status=0
  xvfb-run -a -s '-screen 0 1024x768x24' bash -c "$inner" check-window "$tarvik" "$home" "$no_display" || status=$?
  ((status == no_display)) || exit "$status"
  ((attempt == 2)) || echo "retrying with a new X server"
done
echo "FAIL: no X server came up"
exit 1
