#!/bin/sh
# Installs the build into a temporary prefix and builds a tiny C host against the installed
# tree three times, through find_package(ksnd32) and through pkg-config (found through
# LD_LIBRARY_PATH, then through an rpath), running each.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR C_COMPILER "C_FLAGS" GENERATOR
set -eu
build=$1 source=$2 cc=$3 cflags=$4 generator=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
for f in include/ksnd32.h include/wail32.h bin/ksfx; do
  test -e "$prefix/$f" || { echo "not installed: $f"; exit 1; }
done
ls "$prefix"/lib*/libksnd32.so.1 "$prefix"/lib*/libwail32.so.1 > /dev/null
ls "$prefix"/share/man/man1/ksfx.1 > /dev/null
"$prefix/bin/ksfx" --help > /dev/null

cmake -S "$source/tests/tools/host" -B "$work/cmake-host" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$cflags" \
  > "$work/configure.log"
cmake --build "$work/cmake-host" > "$work/build.log" || { cat "$work/build.log"; exit 1; }
(cd "$work" && "$work/cmake-host/host" "$work/a.ksfx") | grep -qx ok
echo "find_package host: ok"

pcdir=$(dirname "$(ls "$prefix"/lib*/pkgconfig/ksnd32.pc)")
# shellcheck disable=SC2086
"$cc" $cflags "$source/tests/tools/host/host.c" -o "$work/pc-host" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs ksnd32)
libdir=$(PKG_CONFIG_PATH="$pcdir" pkg-config --variable=libdir ksnd32)
(cd "$work" && LD_LIBRARY_PATH="$libdir" "$work/pc-host" "$work/b.ksfx") | grep -qx ok
echo "pkg-config host with LD_LIBRARY_PATH: ok"
# shellcheck disable=SC2086
"$cc" $cflags "$source/tests/tools/host/host.c" -o "$work/rpath-host" \
  $(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs ksnd32) -Wl,-rpath,"$libdir"
(cd "$work" && env -u LD_LIBRARY_PATH "$work/rpath-host" "$work/c.ksfx") | grep -qx ok
echo "pkg-config host with an rpath: ok"
