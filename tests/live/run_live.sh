#!/bin/sh
# Runs the live sound test against a private PulseAudio server whose only output is a null
# sink, so it needs no sound card. The server lives in a temporary folder (its socket, cookie
# and log) and is stopped on every way out. Exit status: the test's, or 77 (skipped) when no
# server can be started here.
# Usage: run_live.sh LIVE_SOUND_BINARY [ARGUMENTS]
set -u
sink=ksnd_live

skip() {
  echo "SKIPPED: $*"
  exit 77
}
command -v pulseaudio > /dev/null || skip "pulseaudio is not installed (Debian: pulseaudio)"

work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work" HOME="$work"
unset PULSE_SERVER PULSE_RUNTIME_PATH PULSE_COOKIE

stop_server() {
  pid=$(cat "$work/pulse/pid" 2> /dev/null || true)
  if [ -n "$pid" ]; then
    kill "$pid" 2> /dev/null
    tries=0
    while kill -0 "$pid" 2> /dev/null && [ $tries -lt 50 ]; do
      sleep 0.1
      tries=$((tries + 1))
    done
    kill -9 "$pid" 2> /dev/null
  fi
  rm -rf "$work"
}
trap stop_server EXIT
trap 'exit 1' INT TERM

# As root the server warns but runs in this per-user mode; --system=no says so explicitly.
if ! pulseaudio --daemonize=yes --exit-idle-time=-1 -n --system=no \
  --log-target="file:$work/server.log" \
  --load="module-null-sink sink_name=$sink rate=48000 format=s16le channels=2" \
  --load=module-native-protocol-unix; then
  cat "$work/server.log" 2> /dev/null
  skip "no PulseAudio server could be started here"
fi
tries=0
until pactl info > /dev/null 2>&1; do
  tries=$((tries + 1))
  [ $tries -lt 50 ] || skip "the PulseAudio server started but does not answer"
  sleep 0.1
done

# This machine's server (a 2-CPU virtual machine) drops out with less than about 40 ms of
# buffering, whatever the client (pacat at 21 ms: two gaps in 25 s; at 40 ms: none), so the
# gap-free part of the test asks for a 2048-frame buffer unless told otherwise.
KSND_LIVE_SINK=$sink KSND_BUFFER=${KSND_BUFFER:-2048} "$@"
