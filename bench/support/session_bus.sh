# Sourced by the benchmarks' run scripts: a desktop always runs a session bus, and without one
# Qt starts dbus-launch on the program's main thread, which no user's start pays. Starts a
# private bus when none is set; appends its pid to the caller's `pids` array.
start_session_bus() {
  local work="$1"
  [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] && return 0
  command -v dbus-daemon >/dev/null || return 0
  dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus.address" \
    4>"$work/bus.pid" 2>/dev/null || return 0
  DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$work/bus.address")"
  export DBUS_SESSION_BUS_ADDRESS
  pids+=("$(head -n1 "$work/bus.pid")")
}
