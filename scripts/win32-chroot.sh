#!/usr/bin/env bash
# Opt-in: runs the 32-bit Windows build under 32-bit wine, for machines whose kernel cannot run
# 32-bit programs. Sets up (once) a Debian i386 chroot with wine in it, the i386 programs run
# through a qemu-i386-static binfmt registration, then runs the win32 C host there and prints
# its lines ("ok ..." / "FAIL ...", then a count). With --unit it also runs the win32 unit tests.
#
#   sudo scripts/win32-chroot.sh [--unit]
#
# Needs root (debootstrap, mounts, the binfmt registration) and the network to Debian's mirror.
# The first run takes several minutes and about 3.4 GB in KSND_CHROOT (/var/tmp/ksnd32-i386);
# later runs reuse it. Builds the win32 preset first if it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${KSND_CHROOT:-/var/tmp/ksnd32-i386}
mirror=${KSND_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=${KSND_DEBIAN_SUITE:-bookworm}
unit=0
[[ "${1:-}" == "--unit" ]] && unit=1
step() { printf '\n==== %s\n' "$*"; }

if [[ $(id -u) -ne 0 ]]; then
  echo "win32-chroot: run as root (debootstrap, mounts and binfmt need it)" >&2
  exit 2
fi

step "host packages"
missing=()
for pkg in debootstrap qemu-user-static; do
  [[ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" == "install ok installed" ]] ||
    missing+=("$pkg")
done
if ((${#missing[@]})); then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

registered_here=0
mounts=()
bind() {
  mkdir -p "$root$1"
  mountpoint -q "$root$1" || { mount --bind "$1" "$root$1" && mounts+=("$root$1"); }
}
# Leaves the machine as it found it: mounts released, a registration made here removed.
release() {
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" || true; done
  if ((registered_here)); then echo -1 >"$binfmt/qemu-i386" || true; fi
}
trap release EXIT

step "binfmt: i386 programs through qemu-i386-static"
binfmt=/proc/sys/fs/binfmt_misc
[[ -e $binfmt/register ]] || mount -t binfmt_misc binfmt_misc "$binfmt"
if [[ ! -e $binfmt/qemu-i386 ]]; then
  # ELF, 32-bit, little-endian, i386; F loads the interpreter now, so it works in the chroot.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  echo ":qemu-i386:M::${magic}:${mask}:/usr/bin/qemu-i386-static:F" >"$binfmt/register"
  registered_here=1
fi
echo "binfmt qemu-i386: $(head -1 "$binfmt/qemu-i386")"

step "Debian $suite i386 chroot in $root"
if [[ ! -e $root/etc/debian_version ]]; then
  debootstrap --arch=i386 --variant=minbase "$suite" "$root" "$mirror"
fi

bind /proc
bind /dev
bind /dev/pts
bind /sys
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }

if ! in_root test -x /usr/lib/wine/wine; then
  step "wine in the chroot"
  in_root apt-get update -qq
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    wine wine32
fi

step "win32 build"
if [[ ! -e build/win32/bin/windows_host.exe ]]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 -j "$(nproc)"
fi
rm -rf "$root/opt/ksnd32"
mkdir -p "$root/opt/ksnd32"
cp build/win32/bin/*.dll build/win32/bin/*.exe "$root/opt/ksnd32/"

step "win32 C host under 32-bit wine"
# Makes the prefix once (under emulation that takes minutes: wait until wine is idle again),
# then runs one program from the build.
run_wine() {
  in_root /bin/sh -c "cd /opt/ksnd32; export WINEPREFIX=/tmp/ksnd-wine WINEDEBUG=-all \
    WINEDLLOVERRIDES='winedbg.exe=d;mscoree,mshtml='; \
    if [ ! -e /tmp/ksnd-wine/.ready ]; then /usr/lib/wine/wine wineboot -i >/dev/null 2>&1; \
      /usr/lib/wine/wineserver -w; touch /tmp/ksnd-wine/.ready; fi; \
    /usr/lib/wine/wine $*" </dev/null
}
host_output=$(run_wine windows_host.exe 2>&1 | tr -d '\r' || true)
printf '%s\n' "$host_output"
ok=$(grep -c '^ok ' <<<"$host_output" || true)
failed=$(grep -c '^FAIL ' <<<"$host_output" || true)
summary=$(grep -c '^windows_host: [0-9]* ok, 0 failed$' <<<"$host_output" || true)
echo "win32 host: $ok ok, $failed failed lines"

status=0
[[ $failed -eq 0 && $summary -eq 1 ]] || status=1
if ((unit)); then
  step "win32 unit tests under 32-bit wine"
  for test in "$root"/opt/ksnd32/*_tests.exe; do
    name=$(basename "$test")
    if run_wine "$name" >"/tmp/ksnd-$name.log" 2>&1 && grep -q '^\[  PASSED  \]' "/tmp/ksnd-$name.log"; then
      echo "ok $name ($(grep '^\[  PASSED  \]' "/tmp/ksnd-$name.log"))"
    else
      echo "FAIL $name (log: /tmp/ksnd-$name.log)"
      status=1
    fi
  done
fi
exit "$status"
