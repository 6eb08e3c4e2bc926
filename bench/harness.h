// Interleaved comparison of our code with its peers, for a noisy, shared
// machine. Header only; builds with the host g++ and with the i686 mingw-w64
// compiler of either thread model (no threads, no locks).
//
// A comparison runs every peer in each repetition, ours included, so that a
// slow spell of the machine hits all of them alike; the order of the peers
// is reversed from one round to the next. Each repetition is a few rounds,
// and a peer's time in a repetition is its best round. The ratio of a peer
// is taken within each repetition (our speed over the peer's: above 1 means
// we are faster), and the table gives its median beside the lowest and
// highest of the repetitions, and the goal beside it when one is set.
//
//   bench::Options options = bench::ParseOptions(argc, argv); // --reps=N --ms=N
//   bench::Comparison c("licenses", bytes);  // work per call: bytes (MB/s) or 0 (ns per call)
//   c.Ours("unpack", [&] { UnpackBlock(block, out); });
//   c.Peer("zlib", [&] { uncompress(...); }, 1.3);  // goal: at least 1.3x zlib
//   c.Peer("memcpy", [&] { ... });                  // no goal
//   bench::PrintHeader("unpacking", options);      // once per table
//   c.Run(options);                                // prints one row per peer
//
// A call's function must do the same work each time; keep its result alive
// with bench::Keep(pointer). Run returns the peers' figures for a summary.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <chrono>
#endif

namespace bench {

// Seconds from an arbitrary start, from a monotonic clock of fine grain.
inline double Now() {
#if defined(_WIN32)
    static const double period = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return 1.0 / double(f.QuadPart);
    }();
    LARGE_INTEGER c;
    QueryPerformanceCounter(&c);
    return double(c.QuadPart) * period;
#else
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

// Makes the compiler assume that the memory at `p` is read and changed here,
// so that the work that produced it is not optimised away.
inline void Keep(const void* p) {
    asm volatile("" : : "r"(p) : "memory");
}

struct Options {
    int repetitions = 7; // at least 5
    int rounds = 3;      // rounds per repetition; a peer keeps its best
    double ms = 15;      // about how long one peer runs in one round
};

// Reads --reps=N, --rounds=N and --ms=N; other arguments are left to the caller.
inline Options ParseOptions(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (std::strncmp(a, "--reps=", 7) == 0) o.repetitions = std::atoi(a + 7);
        if (std::strncmp(a, "--rounds=", 9) == 0) o.rounds = std::atoi(a + 9);
        if (std::strncmp(a, "--ms=", 5) == 0) o.ms = std::atof(a + 5);
    }
    o.repetitions = std::max(o.repetitions, 5);
    o.rounds = std::max(o.rounds, 1);
    o.ms = std::max(o.ms, 0.5);
    return o;
}

// One peer's figures over the repetitions.
struct Figures {
    std::string name;
    double goal = 0;                     // least ratio wanted; 0 for none
    double speed = 0;                    // median: MB/s, or ns per call when the work is 0
    double ratio = 1, low = 1, high = 1; // ours / this peer: median, lowest, highest
    bool Met() const { return goal <= 0 || ratio >= goal; }
};

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline void PrintHeader(const char* title, const Options& o) {
    std::printf("\n%s: %d repetitions of %d interleaved rounds; ratio = our speed / the peer's,"
                " median [lowest - highest]\n",
                title, o.repetitions, o.rounds);
    std::printf("%-22s %-14s %14s  %-22s %s\n", "case", "peer", "speed", "ratio [spread]", "goal");
}

class Comparison {
public:
    // `work` is the bytes one call handles (speeds in MB/s), or 0 (ns per call).
    explicit Comparison(std::string name, double work = 0) : name_(std::move(name)), work_(work) {}

    void Ours(std::string name, std::function<void()> fn) {
        entries_.insert(entries_.begin(), Entry{std::move(name), std::move(fn), 0, 1});
        hasOurs_ = true;
    }
    void Peer(std::string name, std::function<void()> fn, double goal = 0) {
        entries_.push_back(Entry{std::move(name), std::move(fn), goal, 1});
    }

    // Times every entry, prints the rows and returns the peers' figures (ours first).
    std::vector<Figures> Run(const Options& o) {
        if (!hasOurs_ || entries_.empty()) return {};
        for (Entry& e : entries_) Calibrate(e, o.ms / 1000);
        const std::size_t n = entries_.size();
        std::vector<std::vector<double>> perCall(n); // best time per call, each repetition
        bool reverse = false;
        for (int r = 0; r < o.repetitions; ++r) {
            std::vector<double> best(n, 1e300);
            for (int round = 0; round < o.rounds; ++round, reverse = !reverse) {
                for (std::size_t k = 0; k < n; ++k) {
                    const std::size_t i = reverse ? n - 1 - k : k;
                    best[i] = std::min(best[i], TimeBatch(entries_[i]) / double(entries_[i].calls));
                }
            }
            for (std::size_t k = 0; k < n; ++k) perCall[k].push_back(best[k]);
        }
        std::vector<Figures> out;
        for (std::size_t k = 0; k < n; ++k) {
            Figures f;
            f.name = entries_[k].name;
            f.goal = entries_[k].goal;
            std::vector<double> speeds, ratios;
            for (int r = 0; r < o.repetitions; ++r) {
                const double t = perCall[k][std::size_t(r)];
                speeds.push_back(work_ > 0 ? work_ / t / 1e6 : t * 1e9);
                ratios.push_back(t / perCall[0][std::size_t(r)]);
            }
            f.speed = Median(speeds);
            f.ratio = Median(ratios);
            f.low = *std::min_element(ratios.begin(), ratios.end());
            f.high = *std::max_element(ratios.begin(), ratios.end());
            out.push_back(f);
            PrintRow(f, k == 0);
        }
        return out;
    }

private:
    struct Entry {
        std::string name;
        std::function<void()> fn;
        double goal;
        long calls; // calls per batch
    };

    static double TimeBatch(Entry& e) {
        const double start = Now();
        for (long i = 0; i < e.calls; ++i) e.fn();
        return Now() - start;
    }

    // Sets the calls per batch so that one batch lasts about `seconds`.
    static void Calibrate(Entry& e, double seconds) {
        e.calls = 1;
        e.fn(); // warm the caches and the branch predictors
        for (;;) {
            const double t = TimeBatch(e);
            if (t >= seconds / 8 || e.calls >= (1L << 30)) {
                const double perCall = std::max(t / double(e.calls), 1e-9);
                e.calls = std::max(1L, long(seconds / perCall));
                return;
            }
            e.calls *= 2;
        }
    }

    void PrintRow(const Figures& f, bool ours) const {
        char speed[32], ratio[64] = "", goal[32] = "";
        std::snprintf(speed, sizeof speed, work_ > 0 ? "%.1f MB/s" : "%.0f ns", f.speed);
        if (!ours)
            std::snprintf(ratio, sizeof ratio, "%.2fx [%.2f - %.2f]", f.ratio, f.low, f.high);
        if (f.goal > 0)
            std::snprintf(goal, sizeof goal, ">= %.2fx %s", f.goal, f.Met() ? "met" : "MISSED");
        std::printf("%-22s %-14s %14s  %-22s %s\n", name_.c_str(), f.name.c_str(), speed, ratio,
                    goal);
        std::fflush(stdout);
    }

    std::string name_;
    double work_;
    bool hasOurs_ = false;
    std::vector<Entry> entries_;
};

} // namespace bench
