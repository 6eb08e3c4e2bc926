// The Win32 benchmark: the shell library as the programs link it, beside the
// peers a programmer would pick on i686 Windows, run under Wine by
// scripts/bench-win32.sh. One program; each part (unpacking, sprites) lives
// in its own file and registers itself (parts.h).
//
//   win32_bench [part...] [--reps=N] [--rounds=N] [--ms=N]
#include "bench/win32/parts.h"

#include <cstdio>
#include <cstring>

namespace {
BenchPart* first = nullptr;
BenchPart** last = &first;
} // namespace

BenchPart::BenchPart(const char* partName, void (*partRun)(const bench::Options&))
    : name(partName), run(partRun), next(nullptr) {
    *last = this;
    last = &next;
}

BenchPart* FirstBenchPart() {
    return first;
}

int main(int argc, char** argv) {
    const bench::Options options = bench::ParseOptions(argc, argv);
    bool named = false;
    for (int i = 1; i < argc; ++i) named |= argv[i][0] != '-';
    int ran = 0;
    for (BenchPart* part = first; part != nullptr; part = part->next) {
        bool wanted = !named;
        for (int i = 1; i < argc; ++i) wanted |= std::strcmp(argv[i], part->name) == 0;
        if (!wanted) continue;
        part->run(options);
        ++ran;
    }
    if (ran == 0) {
        std::printf("no part to run; parts:");
        for (BenchPart* part = first; part != nullptr; part = part->next)
            std::printf(" %s", part->name);
        std::printf("\n");
        return 1;
    }
    return 0;
}
