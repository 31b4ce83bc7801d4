/* check_timing: the C reader's vantrel_check over a buffer, the fastest of
 * `runs` runs, for bench/python_bench.py to set beside vantrel.check.  Built
 * as a shared library and called (ctypes) on the very bytes Python checks,
 * so that both read the same memory: a check of a large blob waits on
 * memory more than it computes. */
#include <stddef.h>
#include <time.h>

#include "vantrel_reader.h"

static double now_ns(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

/* Nanoseconds of the fastest run; *code receives the verdict. */
double check_timing_best_ns(const void *blob, size_t size, int runs, int *code)
{
    double best = 0;
    int i;
    for (i = 0; i < runs; ++i) {
        double began = now_ns(), took;
        *code = vantrel_check(blob, size, NULL, NULL);
        took = now_ns() - began;
        if (i == 0 || took < best)
            best = took;
    }
    return best;
}
