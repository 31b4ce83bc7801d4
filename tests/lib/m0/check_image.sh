#!/bin/sh
# Builds the firmware example for a bare-metal Cortex-M0: the reader and the
# builder (lib/vantrel.cpp, C++ without exceptions, RTTI or a C++ library)
# linked into an image with no C or C++ library at all, then prints the code
# sizes and the stack a check takes, and fails when the whole call chain of
# the example's settings load (the generated loader, bound 16) is above 512
# bytes.  Exits 77 (skipped) without the
# cross compiler.
# Usage: check_image.sh SOURCE_DIR VERSION_HEADER_DIR WORK_DIR [GENERATED_DIR]
# GENERATED_DIR holds the header the build makes of the example's schema
# (default: examples/include of the build that made VERSION_HEADER_DIR).
src=$1
version=$2
work=$3
generated=${4:-$2/../../examples/include}
command -v arm-none-eabi-gcc >/dev/null || { echo "skipped: no arm-none-eabi-gcc"; exit 77; }
mkdir -p "$work" || exit 1
# The compiles run in the work folder: the other folders as absolute paths.
src=$(cd "$src" && pwd) && version=$(cd "$version" && pwd) && generated=$(cd "$generated" && pwd) &&
    cd "$work" || exit 1
cpu="-mcpu=cortex-m0 -mthumb -Os -ffreestanding -Wall -Wextra -Wpedantic -Werror"
newlib=/usr/include/newlib
[ -f "$newlib/stdint.h" ] || [ -f "$newlib/string.h" ] || newlib=
inc="-I$src/lib -I$src/examples -I$generated -I$version ${newlib:+-isystem $newlib}"
set -e
arm-none-eabi-gcc -std=c99 $cpu $inc -fstack-usage -fcallgraph-info=su -c "$src/examples/firmware.c" -o firmware.o
arm-none-eabi-g++ -std=c++20 $cpu -fno-exceptions -fno-rtti $inc -c "$src/lib/vantrel.cpp" -o vantrel.o
arm-none-eabi-g++ -std=c++20 $cpu -fno-exceptions -fno-rtti $inc -c "$src/lib/version.cpp" -o version.o
arm-none-eabi-gcc -std=c99 $cpu -fno-builtin -fno-tree-loop-distribute-patterns $inc \
    -c "$src/tests/lib/m0/startup.c" -o startup.o
arm-none-eabi-gcc $cpu -nostdlib -T "$src/tests/lib/m0/cortex_m0.ld" -Wl,--gc-sections \
    startup.o firmware.o vantrel.o version.o -lgcc -o firmware.elf
set +e
echo "code (bytes of text):"
arm-none-eabi-size firmware.o vantrel.o version.o firmware.elf
# The link above had no library but libgcc; the builder itself asks for
# nothing but memcpy and memset.
undefined=$(arm-none-eabi-nm -u vantrel.o version.o | grep ' U ' | grep -v -E ' (memcpy|memset)$')
[ -z "$undefined" ] || { echo "the builder needs more than memcpy and memset:"; echo "$undefined"; exit 1; }
# settings_load is the generated loader: the format and schema check in
# one walk, filling the struct.  Its code with every function it calls.
arm-none-eabi-nm -S firmware.o >firmware.nm || exit 1
python3 "$src/tests/lib/m0/stack_chain.py" --sizes firmware.nm firmware.su firmware.ci 512 \
    settings_load count_tags status_build || exit 1
# The check at the reader's default bound (1024 levels), for the figure the
# README gives beside the example's: one word a level, and a little more.
printf '%s\n' '#include <vantrel_reader.h>' \
    'int check_at_default_bound(const void *blob, size_t size);' \
    'int check_at_default_bound(const void *blob, size_t size) { return vantrel_check(blob, size, 0, 0); }' \
    >default_bound.c
arm-none-eabi-gcc -std=c99 $cpu $inc -fstack-usage -fcallgraph-info=su -c default_bound.c -o default_bound.o ||
    exit 1
python3 "$src/tests/lib/m0/stack_chain.py" default_bound.su default_bound.ci 8192 check_at_default_bound
