#!/bin/sh
# Compiles the reader for a 32-bit bare-metal target (Cortex-M0, -Os,
# -ffreestanding) and prints its code size.  Exits 77 (skipped) when the
# cross compiler or the C library headers for it are missing.
# Usage: check_freestanding.sh SOURCE_DIR WORK_DIR
src=$1
work=$2
cc=$(command -v arm-none-eabi-gcc) || { echo "skipped: no arm-none-eabi-gcc"; exit 77; }
newlib=/usr/include/newlib
[ -f "$newlib/string.h" ] || newlib=
mkdir -p "$work" || exit 1
"$cc" -std=c99 -ffreestanding -mcpu=cortex-m0 -mthumb -Os -Wall -Wextra -Wpedantic -Werror \
    ${newlib:+-isystem "$newlib"} -I"$src/lib" -c "$src/tests/lib/reader_freestanding.c" \
    -o "$work/reader_freestanding.o" || exit 1
arm-none-eabi-size "$work/reader_freestanding.o"
