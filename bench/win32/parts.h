// The parts of the Win32 benchmark program. Each part is a source file of
// bench/win32/ that registers itself with a static BenchPart; win32_bench
// runs every part linked in, or those named on its command line.
#pragma once

#include "bench/harness.h"

struct BenchPart {
    const char* name;
    void (*run)(const bench::Options& options);
    BenchPart* next;

    BenchPart(const char* partName, void (*partRun)(const bench::Options&));
};

// The registered parts, in the order their files' initialisers ran.
BenchPart* FirstBenchPart();
