#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere (so
# that nothing can lean on where it was installed, nor on the build tree),
# and runs the installed programs from there: kindora-render headless, and
# kindora --window and kindora-settings under an Xvfb of their own.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
xvfb=""
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
prefix=$work/moved
fail() { echo "install check: $*" >&2; exit 1; }

for f in libexec/xscreensaver/kindora bin/kindora bin/kindora-render bin/kindora-settings \
         share/kindora/zarnish.vellumry share/kindora/Kindora.ui share/kindora/fallback.jpg \
         share/kindora/manual.html share/xscreensaver/config/kindora.xml \
         share/applications/kindora-settings.desktop share/applications/screensavers/kindora.desktop \
         share/icons/hicolor/scalable/apps/kindora.svg share/man/man1/kindora.1.gz \
         share/man/man1/kindora-settings.1.gz; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
[ "$(readlink "$prefix/bin/kindora")" = ../libexec/xscreensaver/kindora ] || fail "bin/kindora is no link to the hack"
desktop-file-validate "$prefix/share/applications/kindora-settings.desktop"
desktop-file-validate "$prefix/share/applications/screensavers/kindora.desktop"

export HOME=$work/home XDG_CONFIG_HOME=$work/config
mkdir -p "$HOME"
unset XSCREENSAVER_WINDOW XDG_CURRENT_DESKTOP
err=$("$prefix/bin/kindora-render" --seconds 1 --out "$work/frames" 2>&1 >/dev/null) || fail "kindora-render failed: $err"
[ -z "$err" ] || fail "kindora-render said: $err"
ls "$work/frames"/*.png >/dev/null || fail "kindora-render wrote no frame"

Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 1280x720x24 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"

run_for() {  # seconds, program, arguments: it must still run, then end on SIGTERM with 0
  local seconds=$1; shift
  "$@" 2>"$work/stderr" &
  local pid=$!
  sleep "$seconds"
  kill -0 $pid 2>/dev/null || fail "$* ended early: $(cat "$work/stderr")"
  kill -TERM $pid
  local status=0
  wait $pid || status=$?
  [ $status -eq 0 ] || fail "$* ended with status $status: $(cat "$work/stderr")"
}
run_for 3 "$prefix/bin/kindora" --window 640x400
[ ! -s "$work/stderr" ] || fail "kindora --window said: $(cat "$work/stderr")"
run_for 3 "$prefix/bin/kindora-settings"

# Without its pack, or with a damaged one, the saver runs without banner and
# caption and says so in one line.
pack=$prefix/share/kindora/zarnish.vellumry
mv "$pack" "$work/pack"
run_for 2 "$prefix/bin/kindora" --window 640x400
[ "$(wc -l < "$work/stderr")" -eq 1 ] || fail "a missing pack gave: $(cat "$work/stderr")"
head -c 300 "$work/pack" > "$pack"
run_for 2 "$prefix/bin/kindora" --window 640x400
[ "$(wc -l < "$work/stderr")" -eq 1 ] || fail "a damaged pack gave: $(cat "$work/stderr")"
# Without its data folder at all it still runs.
rm -rf "$prefix/share/kindora"
run_for 2 "$prefix/bin/kindora" --window 640x400
echo "install check: the installed programs run from $prefix"
