// Deterministic address books for benchmarks: realistic, partly non-ASCII names and addresses,
// a share of exact and near duplicates, folders and lists.
#pragma once

#include <cstdint>
#include <vector>

#include "model/adbook.h"

namespace vesk::bench {

struct GeneratorOptions {
    std::uint64_t seed = 1;
    double exactDuplicates = 0.05;  ///< share of entries repeated exactly (case may differ)
    double nearDuplicates = 0.05;   ///< share repeated with one field changed or added
    int folders = 0;                ///< folders at the top, each with a share of the entries
    int lists = 0;                  ///< lists at the top, each with a few members
};

/// `count` contacts (before de-duplication), in a stable pseudo-random order.
std::vector<Entry> generateContacts(std::size_t count, const GeneratorOptions& options = {});

/// A book filled through addEntry with folders and lists, not yet sorted.
void fillBook(NewAdbook& book, std::size_t count, const GeneratorOptions& options = {});

}  // namespace vesk::bench
