/* check_timing: the C reader's vantrel_check over a blob file, the fastest
 * of RUNS runs, for bench/python_bench.py to set beside vantrel.check.
 *   check_timing FILE [RUNS]   prints "<nanoseconds> <fault code>"
 * Built by the script with the flags the Python extension is built with. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "vantrel_reader.h"

static double now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

int main(int argc, char **argv)
{
    FILE *f;
    long size;
    unsigned char *blob;
    int runs = argc > 2 ? atoi(argv[2]) : 10, code = -1, i;
    double best = 0;
    if (argc < 2 || (f = fopen(argv[1], "rb")) == NULL || fseek(f, 0, SEEK_END) != 0 || (size = ftell(f)) < 0) {
        fprintf(stderr, "usage: check_timing FILE [RUNS]\n");
        return 1;
    }
    rewind(f);
    blob = malloc(size > 0 ? (size_t)size : 1);
    if (blob == NULL || fread(blob, 1, (size_t)size, f) != (size_t)size) {
        fprintf(stderr, "check_timing: cannot read %s\n", argv[1]);
        return 1;
    }
    fclose(f);
    for (i = 0; i < runs; ++i) {
        double began = now_ns(), took;
        code = vantrel_check(blob, (size_t)size, NULL, NULL);
        took = now_ns() - began;
        if (i == 0 || took < best)
            best = took;
    }
    printf("%.0f %d\n", best, code);
    free(blob);
    return 0;
}
