#!/bin/sh
# Runs waveout_live.exe under wine while recording the PulseAudio sink it plays into, then checks
# that the recording holds sound. Started by run_live.sh, which sets KSND_LIVE_SINK.
# Usage: waveout_live.sh WINE WAVEOUT_LIVE_EXE
set -u
record=$(mktemp)
trap 'rm -f "$record"' EXIT
parec --device="$KSND_LIVE_SINK.monitor" --raw --format=s16le --channels=2 --rate=48000 \
  >"$record" &
recorder=$!
"$1" "$2" </dev/null
status=$?
kill "$recorder" 2>/dev/null
wait "$recorder" 2>/dev/null
# A quarter of a second of sound is 48000 bytes that are not zero.
heard=$(tr -d '\000' <"$record" | wc -c)
if [ "$heard" -gt 48000 ]; then
  echo "ok the sink heard the tone ($heard bytes of sound)"
else
  echo "FAIL the sink heard the tone ($heard bytes of sound)"
  status=1
fi
exit $status
