#!/usr/bin/env bash
# Installs a build tree into a scratch prefix (through DESTDIR), checks the
# layout, runs the installed programs without LD_LIBRARY_PATH, and builds
# and runs two consumers against the prefix: one through pkg-config, one
# through find_package(vantrel).
# Usage: check_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=/opt/vantrel-test
root=$work/root
fail() { echo "check_install: $*" >&2; exit 1; }

# Staged the way a distribution package is: DESTDIR plus the final prefix.
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log"
p=$root$prefix

libdir=$(cd "$p" && ls -d lib*/libvantrel.so 2>/dev/null | head -n1 | xargs -r dirname)
[[ -n $libdir ]] || fail "no libvantrel.so under $p"
for f in bin/vantrel-comp bin/vantrel-dump include/vantrel.h include/vantrel_reader.h include/vantrel.hpp \
         "$libdir/libvantrel.so.0" "$libdir/libvantrel.so.0.2.14" \
         "$libdir/pkgconfig/vantrel.pc" "$libdir/cmake/vantrel/vantrel-config.cmake" \
         share/man/man1/vantrel-comp.1 share/man/man1/vantrel-dump.1 \
         share/man/man3/libvantrel.3 share/man/man5/vantrel.5 \
         share/bash-completion/completions/vantrel-comp \
         share/bash-completion/completions/vantrel-dump; do
    [[ -e $p/$f ]] || fail "missing $f"
done
[[ -L $p/$libdir/libvantrel.so && -L $p/$libdir/libvantrel.so.0 ]] || fail "soname links missing"

# Installed programs find the library through their RPATH.  Run them from
# the DESTDIR copy: $ORIGIN makes that work too.
env -u LD_LIBRARY_PATH "$p/bin/vantrel-comp" --version | grep -q "^libvantrel v0.2.14$" ||
    fail "installed vantrel-comp does not run"
env -u LD_LIBRARY_PATH "$p/bin/vantrel-dump" --version | grep -q "^libvantrel v0.2.14$" ||
    fail "installed vantrel-dump does not run"

# pkg-config consumer; the .pc file finds its prefix from its own place.
export PKG_CONFIG_PATH=$p/$libdir/pkgconfig
[[ $(pkg-config --modversion vantrel) == 0.2.14 ]] || fail "pkg-config version"
cc -std=c99 -Wall -Wextra -Werror "$src/tests/package/pkgconfig_consumer.c" \
    $(pkg-config --cflags --libs vantrel) -Wl,-rpath,"$p/$libdir" -o "$work/pc_consumer"
"$work/pc_consumer"

cmake -S "$src/tests/package/cmake_consumer" -B "$work/cmake_consumer" \
    -DCMAKE_PREFIX_PATH="$p" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "find_package"; }
cmake --build "$work/cmake_consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer build"; }
"$work/cmake_consumer/consumer"
"$work/cmake_consumer/reader_only"
echo "install layout, pkg-config and find_package consumers: ok"
