// Unpackers of several formats side by side on the corpus, for the host and
// the Win32 benchmarks: each item of the corpus packed in every format, the
// check that every unpacker gives the data back, and the tables (one per
// item, then the whole corpus in one call, where the goals are printed).
// Our packer at its smallest and zlib level 9 are here for both benchmarks.
#pragma once

#include "bench/harness.h"
#include "bench/unpack/corpus.h"
#include "unpack/unpack.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct PackedItem {
    CorpusItem item;
    std::vector<Bytes> formats; // the item packed in each format, in the packers' order
    Bytes out;                  // room for the item, which every unpacker fills
};

struct Unpacker {
    const char* name;
    int format; // index into PackedItem::formats; -1 for the unpacked data itself
    bool (*run)(const Bytes& packed, Bytes& out); // false on failure
    double goal; // least ratio of our speed to this one over the whole corpus; 0 for none
};

using Packer = Bytes (*)(const Bytes& data);

inline Bytes PackOursAt(const Bytes& data, int effort) {
    Bytes b(PackBound(data.size()));
    b.resize(PackBlock(data.data(), data.size(), b.data(), effort).size);
    return b;
}

inline Bytes PackOurs(const Bytes& data) {
    return PackOursAt(data, 9);
}

inline Bytes PackZlibAt(const Bytes& data, int level) {
    uLongf size = compressBound(uLong(data.size()));
    Bytes b(size);
    compress2(b.data(), &size, data.data(), uLong(data.size()), level);
    b.resize(size);
    return b;
}

inline Bytes PackZlib(const Bytes& data) {
    return PackZlibAt(data, 9);
}

// An unpacker with the interface of UnpackBlockSized: ours, or another build of it.
template <UnpackResult (*Entry)(const void*, std::size_t, void*, std::size_t)>
bool UnpackWith(const Bytes& in, Bytes& out) {
    return !Entry(in.data(), in.size(), out.data(), out.size()).Failed();
}

inline bool UnpackZlib(const Bytes& in, Bytes& out) {
    uLongf size = uLongf(out.size());
    return uncompress(out.data(), &size, in.data(), uLong(in.size())) == Z_OK;
}

inline std::vector<PackedItem> PackCorpus(std::vector<CorpusItem> corpus,
                                          const std::vector<Packer>& packers) {
    std::vector<PackedItem> items;
    for (CorpusItem& c : corpus) {
        PackedItem p{std::move(c), {}, {}};
        for (Packer pack : packers) p.formats.push_back(pack(p.item.data));
        p.out.resize(p.item.data.size());
        items.push_back(std::move(p));
    }
    return items;
}

inline const Bytes& Input(const PackedItem& p, const Unpacker& u) {
    return u.format < 0 ? p.item.data : p.formats[std::size_t(u.format)];
}

// False, after a message, when an unpacker fails or gives other bytes.
inline bool UnpackersAgree(std::vector<PackedItem>& items, const std::vector<Unpacker>& unpackers) {
    for (PackedItem& p : items) {
        for (const Unpacker& u : unpackers) {
            std::fill(p.out.begin(), p.out.end(), std::uint8_t(0));
            if (!u.run(Input(p, u), p.out) || p.out != p.item.data) {
                std::printf("%s gives other bytes for %s\n", u.name, p.item.name.c_str());
                return false;
            }
        }
    }
    return true;
}

// The first unpacker is ours; the ratios are our speed over each other's.
inline void CompareUnpackers(const char* title, std::vector<PackedItem>& items,
                             const std::vector<Unpacker>& unpackers,
                             const bench::Options& options) {
    bench::PrintHeader(title, options);
    auto add = [&unpackers](bench::Comparison& c, auto&& unpackAll, bool goals) {
        for (const Unpacker& u : unpackers) {
            auto fn = [&u, unpackAll] { unpackAll(u); };
            if (&u == &unpackers.front())
                c.Ours(u.name, fn);
            else
                c.Peer(u.name, fn, goals ? u.goal : 0);
        }
    };
    double total = 0;
    for (PackedItem& p : items) {
        total += double(p.item.data.size());
        bench::Comparison c(p.item.name, double(p.item.data.size()));
        add(
            c,
            [&p](const Unpacker& u) {
                u.run(Input(p, u), p.out);
                bench::Keep(p.out.data());
            },
            false);
        c.Run(options);
    }
    bench::Comparison all("whole corpus", total);
    add(
        all,
        [&items](const Unpacker& u) {
            for (PackedItem& p : items) {
                u.run(Input(p, u), p.out);
                bench::Keep(p.out.data());
            }
        },
        true);
    all.Run(options);
}
