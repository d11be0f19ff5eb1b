#!/usr/bin/env bash
# A private sound server for tests and benches: PipeWire, WirePlumber and PipeWire's PulseAudio interface
# on a runtime folder and a D-Bus session bus of their own, with two virtual devices and nothing else:
#   zelq_speakers    the default output (a sink that plays into nothing; its monitor is "what the
#                    computer plays")
#   zelq_microphone  the default input (a virtual source)
# It never touches the user's own sound server or another session's.
#
# Usage:
#   scripts/sound-session.sh command [args...]   runs the command with PULSE_SERVER set, then tears down
#   scripts/sound-session.sh --serve             prints "PULSE_SERVER=..." when ready, then runs until its
#                                                standard input closes (the parent went) or it is killed
# Exit status 3 when the server cannot be started (the packages are missing, say).
set -euo pipefail

for tool in pipewire wireplumber pipewire-pulse pactl dbus-daemon; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "sound-session: $tool is not installed (scripts/install-deps.sh installs it)" >&2
    exit 3
  fi
done

runtime=$(mktemp -d "${TMPDIR:-/tmp}/zelq-sound.XXXXXX")
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$runtime"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

export XDG_RUNTIME_DIR="$runtime"
# WirePlumber remembers default devices in its state folder; this session's choices stay in it.
export XDG_STATE_HOME="$runtime/state"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"
unset PULSE_SERVER PIPEWIRE_REMOTE

fail() {
  echo "sound-session: $1 (logs in $runtime were:)" >&2
  tail -n 5 "$runtime"/*.log >&2 2>/dev/null || true
  exit 3
}
wait_for() {  # wait_for seconds command...: polls until the command succeeds
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do
    if "$@" >/dev/null 2>&1; then return 0; fi
    sleep 0.1
  done
  return 1
}

dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork --nopidfile >"$runtime/dbus.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$runtime/bus" || fail "the D-Bus session bus did not start"
pipewire >"$runtime/pipewire.log" 2>&1 &
pids+=($!)
wait_for 10 test -S "$runtime/pipewire-0" || fail "pipewire did not start"
wireplumber >"$runtime/wireplumber.log" 2>&1 &
pids+=($!)
pipewire-pulse >"$runtime/pipewire-pulse.log" 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$runtime/pulse/native"
wait_for 20 pactl info || fail "pipewire-pulse did not answer"
pactl load-module module-null-sink sink_name=zelq_speakers \
  sink_properties=device.description=zelq_speakers >/dev/null || fail "no virtual output"
pactl load-module module-null-sink sink_name=zelq_microphone media.class=Audio/Source/Virtual \
  sink_properties=device.description=zelq_microphone >/dev/null || fail "no virtual input"
default_is() { [ "$(pactl "get-default-$1")" = "$2" ] || { pactl "set-default-$1" "$2"; false; }; }
wait_for 20 default_is sink zelq_speakers || fail "zelq_speakers did not become the default output"
wait_for 20 default_is source zelq_microphone || fail "zelq_microphone did not become the default input"

if [ "${1:-}" = "--serve" ]; then
  echo "PULSE_SERVER=$PULSE_SERVER"
  # Until the parent closes our input (or goes away, which closes it too).
  cat >/dev/null || true
  exit 0
fi
set +e
"$@"
exit $?
