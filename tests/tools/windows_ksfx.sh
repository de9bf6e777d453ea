#!/bin/sh
# ksfx.exe under wine: compile a manifest, show the bank, render a script offline and render a
# tune to a file, each a run of the Windows tool on files made here. Prints one line per check.
# Usage: windows_ksfx.sh WINE KSFX_EXE
set -u
wine=$1
ksfx=$2
dir=$(mktemp -d "${TMPDIR:-/tmp}/ksfx-win.XXXXXX")
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
failed=0
check() { # check WHAT COMMAND...: the command's status decides; its output goes to the log
  what=$1
  shift
  if "$@" >>log 2>&1; then echo "ok $what"; else echo "FAIL $what"; failed=1; fi
}
run() { "$wine" "$ksfx" "$@" </dev/null; }
# True when the file's bytes after its 44-byte header are not all zero.
sounds() { [ "$(tail -c +45 "$1" | tr -d '\000' | wc -c)" -gt 0 ]; }

# A mono 8-bit 11025 Hz square wave of 4400 samples (0.4 s).
{
  printf 'RIFF\064\021\000\000WAVEfmt \020\000\000\000\001\000\001\000\021\053\000\000'
  printf '\021\053\000\000\001\000\010\000data\060\021\000\000'
  i=0
  while [ $i -lt 88 ]; do printf '\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\310\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070\070'; i=$((i + 1)); done
} >beep.wav
printf '[samples]\nbeep = "beep.wav"\n[[sound]]\nname = "beep"\nsample = "beep"\npriority = 5\n' >bank.toml
printf '0.0 play beep\n0.2 note half way\n0.6 end\n' >show.txt
# One note of half a second, format 0, 96 ticks per quarter at 120 per minute.
printf 'MThd\000\000\000\006\000\000\000\001\000\140MTrk\000\000\000\014\000\220\074\144\140\200\074\100\000\377\057\000' >tune.mid

check "compile writes the bank" run compile bank.toml -o bank.kfx
check "the bank exists" test -s bank.kfx
check "info names the sound" sh -c "'$wine' '$ksfx' info bank.kfx </dev/null | grep -q beep"
check "render writes the script's WAV" run render bank.kfx --script show.txt -o show.wav
check "the render is a WAV" sh -c "head -c 4 show.wav | grep -q RIFF"
check "the rendered beep is heard" sounds show.wav
check "tune -o writes the tune's WAV" run tune tune.mid -o tune.wav
check "the tune's file is a WAV" sh -c "head -c 4 tune.wav | grep -q RIFF"
if [ $failed -ne 0 ]; then cat log; fi
echo "windows_ksfx: $([ $failed -eq 0 ] && echo passed || echo failed)"
exit $failed
