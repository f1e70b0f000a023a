#!/usr/bin/env bash
# start_and_quit.sh PROGRAM: starts an installed Vellora offscreen with a fresh settings folder,
# waits until it is up (its audio thread runs once the bundles are loaded and the main window
# is open), ends it with SIGTERM as the close box would, and checks that it quit cleanly and
# saved its settings.
set -euo pipefail
program=$1
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy XDG_CONFIG_HOME=$config "$program" &
pid=$!
for _ in $(seq 200); do
  grep -qs '^SDLAudio' /proc/$pid/task/*/comm && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill -TERM $pid 2>/dev/null || true
status=0
wait $pid || status=$?
[ "$status" -eq 0 ] || { echo "$program: exit status $status"; exit 1; }
[ -f "$config/vellora.txt" ] || { echo "$program: no settings saved"; exit 1; }
