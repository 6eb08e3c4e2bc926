// Code lengths for a chunk's tables: the block writer describes its tables
// with them, and the optimal parse prices its choices with them.
#include "packer/pack_internal.h"

#include <algorithm>

namespace packer {

// A tree of 16 leaves is at most 15 deep, so no code is longer than the
// reader allows.
Lengths HuffmanLengths(const Counts& counts) {
    Lengths lengths{};
    struct Node {
        std::uint64_t weight;
        int left, right; // children, or -1 and the symbol in `left` for a leaf
    };
    Node nodes[2 * SYMBOLS];
    int active[SYMBOLS];
    int nodeCount = 0, activeCount = 0;
    for (unsigned s = 0; s < SYMBOLS; ++s) {
        if (counts[s] == 0) continue;
        nodes[nodeCount] = {counts[s], int(s), -1};
        active[activeCount++] = nodeCount++;
    }
    if (activeCount == 0) return lengths;
    if (activeCount == 1) {
        lengths[std::size_t(nodes[0].left)] = 1;
        return lengths;
    }
    while (activeCount > 1) {
        // Take the two lightest.
        std::sort(active, active + activeCount,
                  [&](int a, int b) { return nodes[a].weight > nodes[b].weight; });
        const int a = active[activeCount - 1], b = active[activeCount - 2];
        nodes[nodeCount] = {nodes[a].weight + nodes[b].weight, a, b};
        activeCount -= 2;
        active[activeCount++] = nodeCount++;
    }
    // Depths by walking down from the root.
    int depth[2 * SYMBOLS] = {};
    for (int n = nodeCount - 1; n >= 0; --n) {
        if (nodes[n].right < 0) {
            lengths[std::size_t(nodes[n].left)] = std::uint8_t(depth[n]);
        } else {
            depth[nodes[n].left] = depth[n] + 1;
            depth[nodes[n].right] = depth[n] + 1;
        }
    }
    return lengths;
}

std::uint64_t CodedBits(const Counts& counts, const Lengths& lengths) {
    std::uint64_t bits = 0;
    for (unsigned s = 0; s < SYMBOLS; ++s) {
        if (counts[s] == 0) continue;
        if (lengths[s] == 0) return UINT64_MAX;
        bits += std::uint64_t(counts[s]) * lengths[s];
    }
    return bits;
}

unsigned DescribedSymbols(const Lengths& lengths) {
    unsigned n = SYMBOLS;
    while (n > 0 && lengths[n - 1] == 0) --n;
    return n;
}

} // namespace packer
