#!/usr/bin/env bash
# Installs the Debian packages a job needs, and only those that are missing.
# Usage: scripts/install-deps.sh demo|test|bench
set -euo pipefail

build=(cmake ninja-build g++ pkg-config libsdl2-dev libfluidsynth-dev timgm6mb-soundfont
       libcli11-dev libtomlplusplus-dev)
case "${1:-}" in
  demo) wanted=("${build[@]}") ;;
  # The test job also builds the core with -m32 (run under qemu-i386 where the kernel cannot
  # run 32-bit programs), GoogleTest from source for it, and the libFuzzer targets with clang.
  # The live leg plays into a private PulseAudio server's null sink and records its monitor.
  # The Windows leg cross-builds with MinGW-w64 (posix threads) and runs the tests under wine64;
  # its double-byte file-name run compiles a Japanese locale from the locales package.
  test) wanted=("${build[@]}" libgtest-dev googletest g++-multilib qemu-user clang
                libclang-rt-14-dev clang-format pulseaudio pulseaudio-utils libpulse-dev
                g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 locales) ;;
  bench) wanted=("${build[@]}" libbenchmark-dev libopenal-dev) ;;
  *) echo "usage: $0 demo|test|bench" >&2; exit 2 ;;
esac

missing=()
for pkg in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
  echo "deps: everything the '$1' job needs is installed"
  exit 0
fi

echo "deps: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "deps: installed ${missing[*]}"
