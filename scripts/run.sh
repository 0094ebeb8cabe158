#!/usr/bin/env bash
# Builds Kestro_QX and starts it. When no programmer is registered, a
# simulated one (a blank MX25L12845) is started first and stopped again when
# the program exits.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

bash "$top/scripts/install-deps.sh"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)" --target Kestro_QX kestro-sim

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} && -z ${QT_QPA_PLATFORM:-} ]]; then
  cat >&2 <<TXT
run: there is no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not set).
     Start it under a virtual X server instead:   xvfb-run -a bash scripts/run.sh
     or without any window system:                QT_QPA_PLATFORM=offscreen bash scripts/run.sh
TXT
  exit 1
fi

# A member is present while its server holds the exclusive lock on its LOCK file.
registry_root() {
  if [[ -n ${XDG_RUNTIME_DIR:-} ]]; then echo "$XDG_RUNTIME_DIR/vantu"; else echo "/tmp/vantu-$(id -u)"; fi
}
present_programmers() {
  local count=0 lock
  for lock in "$(registry_root)"/'{37538c66-9584-42d3-9632-ebad0a230d13}'/*/LOCK; do
    [[ -e $lock ]] || continue
    flock --nonblock --shared "$lock" true 2>/dev/null || count=$((count + 1))
  done
  echo "$count"
}

sim_pid=""
stop_simulator() {
  if [[ -n $sim_pid ]] && kill -0 "$sim_pid" 2>/dev/null; then
    kill -TERM "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_simulator EXIT

if [[ $(present_programmers) -eq 0 ]]; then
  sim_log="$(mktemp)"
  "$top/build/sim/kestro-sim" --chip MX25L12845 --instance "kestro-sim-run-$$" >"$sim_log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -q "serving" "$sim_log" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_log" >&2; exit 1; }
    sleep 0.1
  done
  echo "run: $(head -n 1 "$sim_log")"
fi

"$top/build/app/Kestro_QX"
