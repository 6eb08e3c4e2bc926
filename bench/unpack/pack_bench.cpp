// Packing: sizes beside zlib -9, libdeflate -12 and xz -9 on the benchmark
// corpus (corpus.h), item by item and in total; the check that every block
// unpacks to its data and that the tests' strict reader reads it within its
// P bytes; packing speed beside zlib's, each peer in every repetition
// (bench/harness.h); and unpacking speed on the top level's blocks beside
// blocks of the same data from the fast level or from another packer.
//
//   pack_bench [--reps=N] [--rounds=N] [--ms=N]   sizes, packing and unpacking speed
//   pack_bench --sizes                            the size table and the check only
//   pack_bench --packing | --unpacking            the sizes and one of the speed tables
//   pack_bench --per-item                         packing speed item by item too
//   pack_bench --write-corpus=DIR                 write the corpus items as files
//   pack_bench --old-blocks=DIR                   unpack DIR/<item>.rnc beside ours
//
// --write-corpus and --old-blocks compare with blocks of an older packer:
// pack each file that --write-corpus wrote with that packer's packtool into
// <item>.rnc in the same directory, then run with --old-blocks.
#include "bench/unpack/compare.h"
#include "tests/unpack/strict_reader.h"
#include "unpack/unpack.h"

#include <libdeflate.h>
#include <lzma.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

// The corpus's size on the machines the README's figures come from: sizes
// from a corpus of another size are not comparable with them.
constexpr std::size_t kReferenceCorpusBytes = 10593138;

Bytes PackLibdeflate(const Bytes& data) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(12);
    Bytes b(libdeflate_zlib_compress_bound(c, data.size()));
    b.resize(libdeflate_zlib_compress(c, data.data(), data.size(), b.data(), b.size()));
    libdeflate_free_compressor(c);
    return b;
}

Bytes PackXz(const Bytes& data) {
    Bytes b(lzma_stream_buffer_bound(data.size()));
    std::size_t size = 0;
    if (lzma_easy_buffer_encode(9, LZMA_CHECK_CRC64, nullptr, data.data(), data.size(), b.data(),
                                &size, b.size()) != LZMA_OK)
        size = 0;
    b.resize(size);
    return b;
}

struct Format {
    const char* name;
    Bytes (*pack)(const Bytes&);
};

const Format kFormats[] = {
    {"ours -1", [](const Bytes& d) { return PackOursAt(d, 1); }},
    {"ours -9", [](const Bytes& d) { return PackOursAt(d, 9); }},
    {"zlib -9", PackZlib},
    {"libdeflate -12", PackLibdeflate},
    {"xz -9", PackXz},
};
constexpr std::size_t kOurs1 = 0, kOurs9 = 1, kZlib9 = 2;

// Every one of our blocks unpacks to its data and is read by the strict
// reader within P, to the last byte; false after a message when not.
bool CheckOurs(const std::vector<PackedItem>& items) {
    int blocks = 0;
    for (const PackedItem& p : items) {
        for (std::size_t f : {kOurs1, kOurs9}) {
            const Bytes& block = p.formats[f];
            Bytes out(p.item.data.size());
            const UnpackResult r =
                UnpackBlockSized(block.data(), block.size(), out.data(), out.size());
            const unpack_test::StrictResult s = unpack_test::StrictUnpack(block);
            if (r.Failed() || out != p.item.data || !s.ok || s.data != p.item.data ||
                s.fetchedEnd != block.size() - PACK_HEADER_SIZE) {
                std::printf("%s, %s: the block does not read back%s%s\n", p.item.name.c_str(),
                            kFormats[f].name, s.ok ? "" : ": ", s.fault.c_str());
                return false;
            }
            ++blocks;
        }
    }
    std::printf("Every one of our %d blocks unpacks to its data; the strict reader reads each "
                "within P, fetching every stream byte.\n",
                blocks);
    return true;
}

void PrintSizes(const std::vector<PackedItem>& items) {
    std::printf("\nPacked sizes in bytes:\n%-16s %10s", "item", "bytes");
    for (const Format& f : kFormats) std::printf(" %14s", f.name);
    std::printf(" %14s\n", "-9 vs zlib -9");
    std::vector<double> totals(std::size(kFormats));
    double raw = 0;
    for (const PackedItem& p : items) {
        raw += double(p.item.data.size());
        std::printf("%-16s %10zu", p.item.name.c_str(), p.item.data.size());
        for (std::size_t k = 0; k < totals.size(); ++k) {
            totals[k] += double(p.formats[k].size());
            std::printf(" %14zu", p.formats[k].size());
        }
        std::printf(" %+13.1f%%\n",
                    100.0 *
                        (double(p.formats[kOurs9].size()) / double(p.formats[kZlib9].size()) - 1));
    }
    std::printf("%-16s %10.0f", "total", raw);
    for (double t : totals) std::printf(" %14.0f", t);
    std::printf(" %+13.1f%%\n", 100.0 * (totals[kOurs9] / totals[kZlib9] - 1));
    std::printf("%-16s %10s", "share of data", "");
    for (double t : totals) std::printf(" %14.4f", t / raw);
    std::printf("\n");
    if (std::size_t(raw) != kReferenceCorpusBytes)
        std::printf("note: the corpus holds %.0f bytes on this machine, not %zu\n", raw,
                    kReferenceCorpusBytes);
}

// Packing speed, ours beside zlib's, over the whole corpus (and item by
// item when asked).
void ComparePacking(const std::vector<PackedItem>& items, const bench::Options& options,
                    bool perItem) {
    struct Level {
        const char* title;
        int ours;
        int zlib;
    };
    for (const Level level : {Level{"Packing at the top level beside zlib -9", 9, 9},
                              Level{"Packing at the fast level beside zlib -1", 1, 1}}) {
        bench::PrintHeader(level.title, options);
        auto compare = [&](const char* name, const std::vector<const PackedItem*>& set) {
            double total = 0;
            for (const PackedItem* p : set) total += double(p->item.data.size());
            bench::Comparison c(name, total);
            c.Ours("ours -" + std::to_string(level.ours), [&set, &level] {
                for (const PackedItem* p : set)
                    bench::Keep(PackOursAt(p->item.data, level.ours).data());
            });
            c.Peer("zlib -" + std::to_string(level.zlib), [&set, &level] {
                for (const PackedItem* p : set)
                    bench::Keep(PackZlibAt(p->item.data, level.zlib).data());
            });
            return c.Run(options);
        };
        std::vector<const PackedItem*> all;
        for (const PackedItem& p : items) {
            all.push_back(&p);
            if (perItem) compare(p.item.name.c_str(), {&p});
        }
        const std::vector<bench::Figures> whole = compare("whole corpus", all);
        if (level.ours == 9 && !whole.empty())
            std::printf("goal: at least 2 MB/s at the top level: %.1f MB/s, %s\n", whole[0].speed,
                        whole[0].speed >= 2 ? "met" : "MISSED");
    }
}

Bytes ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

const char* Argument(int argc, char** argv, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], prefix, n) == 0) return argv[i] + n;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    const bench::Options options = bench::ParseOptions(argc, argv);
    const bool sizesOnly = Argument(argc, argv, "--sizes") != nullptr;
    const bool packingOnly = Argument(argc, argv, "--packing") != nullptr;
    const bool unpackingOnly = Argument(argc, argv, "--unpacking") != nullptr;
    const bool perItem = Argument(argc, argv, "--per-item") != nullptr;
    const char* corpusDir = Argument(argc, argv, "--write-corpus=");
    const char* oldDir = Argument(argc, argv, "--old-blocks=");

    if (corpusDir) {
        for (const CorpusItem& c : LoadCorpus()) {
            std::ofstream f(std::string(corpusDir) + "/" + c.name, std::ios::binary);
            f.write(reinterpret_cast<const char*>(c.data.data()), std::streamsize(c.data.size()));
            if (!f) return 1;
        }
        return 0;
    }

    std::vector<Packer> packers;
    for (const Format& f : kFormats) packers.push_back(f.pack);
    std::vector<PackedItem> items = PackCorpus(LoadCorpus(), packers);
    PrintSizes(items);
    if (!CheckOurs(items)) return 1;
    if (sizesOnly) return 0;

    if (!unpackingOnly) ComparePacking(items, options, perItem);
    if (packingOnly) return 0;

    // Unpacking: the top level's blocks beside the fast level's, or beside
    // an older packer's blocks of the same data.
    std::vector<Unpacker> unpackers = {{"-9 blocks", int(kOurs9), UnpackWith<UnpackBlockSized>, 0},
                                       {"-1 blocks", int(kOurs1), UnpackWith<UnpackBlockSized>, 0}};
    if (oldDir) {
        const int old = int(items.front().formats.size());
        for (PackedItem& p : items)
            p.formats.push_back(ReadFile(std::string(oldDir) + "/" + p.item.name + ".rnc"));
        unpackers.push_back({"old blocks", old, UnpackWith<UnpackBlockSized>, 0});
    }
    if (!UnpackersAgree(items, unpackers)) return 1;
    CompareUnpackers("Unpacking the -9 blocks beside other blocks of the same data (one "
                     "UnpackBlock)",
                     items, unpackers, options);
    return 0;
}
