// Writes a fuzz target's seed corpus: seeds_main FOLDER writes FOLDER/seed-N
// for every seed the target's FuzzSeeds makes, after running each through
// the target once, so that a seed the target cannot take fails here.
#include <cstdio>
#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::vector<Bytes> seeds = FuzzSeeds();
    for (size_t i = 0; i < seeds.size(); ++i) {
        LLVMFuzzerTestOneInput(seeds[i].data(), seeds[i].size());
        const std::string path = std::string(argv[1]) + "/seed-" + std::to_string(i);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(seeds[i].data(), 1, seeds[i].size(), file) != seeds[i].size() ||
            std::fclose(file) != 0) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
