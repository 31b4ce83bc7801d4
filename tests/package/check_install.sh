#!/usr/bin/env bash
# Installs a build tree into a scratch prefix (through DESTDIR), checks the
# layout, runs the installed programs without LD_LIBRARY_PATH, checks the
# bash completion and the magic file, and builds and runs consumers against
# the prefix: through pkg-config (shared, and static with --static), through
# find_package(vantrel) (vantrel::vantrel and vantrel::vantrel_static), and
# one that embeds blobs with vantrel_add_blobs().
# Usage: check_install.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
src=$2
version=$3
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
for f in bin/vantrel-comp bin/vantrel-dump "$libdir/libvantrel.a" include/vantrel.h include/vantrel_format.h include/vantrel_reader.h include/vantrel.hpp \
         "$libdir/libvantrel.so.0" "$libdir/libvantrel.so.$version" include/vantrel_version.h \
         "$libdir/pkgconfig/vantrel.pc" "$libdir/cmake/vantrel/vantrel-config.cmake" \
         "$libdir/cmake/vantrel/vantrel-blobs.cmake" "$libdir/cmake/vantrel/vantrel_c_names.h" include/vantrel_c_names.h include/vantrel_schema.h \
         share/vantrel/vantrel.magic \
         share/man/man1/vantrel-comp.1 share/man/man1/vantrel-dump.1 \
         share/man/man3/libvantrel.3 share/man/man5/vantrel.5 share/man/man5/vantrel-schema.5 \
         share/bash-completion/completions/vantrel-comp \
         share/bash-completion/completions/vantrel-dump; do
    [[ -e $p/$f ]] || fail "missing $f"
done
[[ -L $p/$libdir/libvantrel.so && -L $p/$libdir/libvantrel.so.0 ]] || fail "soname links missing"
# The inspector page, when the build made one (clang for wasm32 and wasm-ld
# were there): the same file.
if [[ -f $build/web/vantrel-inspect.html ]]; then
    cmp -s "$build/web/vantrel-inspect.html" "$p/share/vantrel/vantrel-inspect.html" ||
        fail "share/vantrel/vantrel-inspect.html missing or not the page built"
fi

# Installed programs find the library through their RPATH.  Run them from
# the DESTDIR copy: $ORIGIN makes that work too.
env -u LD_LIBRARY_PATH "$p/bin/vantrel-comp" --version | grep -q "^libvantrel v$version$" ||
    fail "installed vantrel-comp does not run"
env -u LD_LIBRARY_PATH "$p/bin/vantrel-dump" --version | grep -q "^libvantrel v$version$" ||
    fail "installed vantrel-dump does not run"

# The installed bash completion offers every option --help names.
for prog in vantrel-comp vantrel-dump; do
    offered=$(bash -c 'source "$1"; COMP_WORDS=("$2" -); COMP_CWORD=1; "_${2//-/_}"; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$p/share/bash-completion/completions/$prog" "$prog")
    for option in $(env -u LD_LIBRARY_PATH "$p/bin/$prog" --help | grep -oE '^  -[-a-z]+'); do
        grep -qx -- "$option" <<<"$offered" || fail "the bash completion of $prog lacks $option"
    done
done

# file(1) names blobs of either byte order by the installed magic file.
printf '{\nint 1 2\n}\n' >"$work/unit.txt"
env -u LD_LIBRARY_PATH "$p/bin/vantrel-comp" -a 32 -o "$work/unit.dat" "$work/unit.txt"
# Every 32-bit word byte-swapped: the start tag, all that file(1) reads, as
# a machine of the other byte order writes it.
od -An -v -tx1 "$work/unit.dat" | tr -s ' \n' '\n\n' | grep . | paste -d' ' - - - - |
    awk '{ printf "%s%s%s%s", $4, $3, $2, $1 }' | xxd -r -p >"$work/swapped.dat"
order=$([[ $(printf '\1\0' | od -An -tu2 | tr -d ' ') == 1 ]] && echo little || echo big)
other=$([[ $order == little ]] && echo big || echo little)
for f in unit:$order swapped:$other; do
    want="vantrel tag blob, ${f#*:}-endian, 96 bytes"
    got=$(file -b -m "$p/share/vantrel/vantrel.magic" "$work/${f%%:*}.dat")
    [[ $got == "$want" ]] || fail "file -m: '$got', not '$want'"
done
# Before the system's database, as the README shows it: other files keep
# their names, and the size shown is the start tag's length, not the file's.
head -c 88 "$work/unit.dat" >"$work/cut.dat"
gzip -c "$work/unit.txt" >"$work/unit.txt.gz"
for f in "cut.dat:vantrel tag blob, $order-endian, 96 bytes" "unit.txt.gz:gzip compressed data*"; do
    got=$(file -b -m "$p/share/vantrel/vantrel.magic:/usr/share/misc/magic" "$work/${f%%:*}")
    [[ $got == ${f#*:} ]] || fail "file -m vantrel.magic:/usr/share/misc/magic: '$got', not '${f#*:}'"
done

# pkg-config consumer; the .pc file finds its prefix from its own place.
export PKG_CONFIG_PATH=$p/$libdir/pkgconfig
[[ $(pkg-config --modversion vantrel) == "$version" ]] || fail "pkg-config version"
cc -std=c99 -Wall -Wextra -Werror "$src/tests/package/pkgconfig_consumer.c" \
    $(pkg-config --cflags --libs vantrel) -Wl,-rpath,$(pkg-config --variable=libdir vantrel) \
    -o "$work/pc_consumer"
env -u LD_LIBRARY_PATH "$work/pc_consumer"
# pkg-config --static: a wholly static program links libvantrel.a.
cc -std=c99 -Wall -Wextra -Werror -static "$src/tests/package/pkgconfig_consumer.c" \
    $(pkg-config --static --cflags --libs vantrel) -o "$work/pc_static"
"$work/pc_static"

cmake -S "$src/tests/package/cmake_consumer" -B "$work/cmake_consumer" \
    -DCMAKE_PREFIX_PATH="$p" >"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "find_package"; }
cmake --build "$work/cmake_consumer" >>"$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer build"; }
"$work/cmake_consumer/consumer"
"$work/cmake_consumer/static_consumer"
if readelf -d "$work/cmake_consumer/static_consumer" | grep -q 'NEEDED.*libvantrel'; then
    fail "vantrel::vantrel_static linked the shared library"
fi
"$work/cmake_consumer/reader_only"
"$src/tests/package/check_blobs_consumer.sh" package "$p"
echo "install layout, magic file, pkg-config (shared, static), find_package (shared, static), reader-only and blobs consumers: ok"
