// The ICC reader: APP2 "ICC_PROFILE" chunks joined by their sequence
// numbers, and a profile's declared size against the bytes present. The
// input is cut into chunks at the positions its first bytes name.
#include "fuzz/fuzz_support.h"
#include "image/icc_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte says how many chunks; each chunk is a block of its own.
    const size_t count = 1 + data[0] % 6;
    std::vector<std::vector<uint8_t>> chunks(count);
    for (size_t i = 1; i < size; ++i) chunks[(i * count) / size].push_back(data[i]);
    std::vector<ByteSpan> spans;
    for (const auto& chunk : chunks) spans.push_back(ByteSpan{chunk.data(), chunk.size()});
    const std::vector<uint8_t> profile = JoinIccChunks(spans);
    size_t present = 0;
    for (const auto& chunk : chunks) present += chunk.size();
    FUZZ_ASSERT(profile.size() <= present);
    if (IsWholeIccProfile(profile.data(), profile.size()))
        FUZZ_ASSERT(DeclaredIccSize(profile.data()) <= profile.size());
    // The whole input as a JPEG stream's head, and as one profile, for the
    // tag reader behind the sRGB test.
    const std::vector<uint8_t> embedded = IccProfileOfJpeg(data + 1, size - 1);
    FUZZ_ASSERT(embedded.empty() || IsWholeIccProfile(embedded.data(), embedded.size()));
    if (IsSrgbProfile(data + 1, size - 1)) FUZZ_ASSERT(IsWholeIccProfile(data + 1, size - 1));
    return 0;
}

std::vector<Bytes> FuzzSeeds() {
    Bytes profile;
    PutU32(profile, 0);  // the declared size, written below big-endian
    PutText(profile, "lcms");
    while (profile.size() < 200) PutU8(profile, uint8_t(profile.size()));
    profile[0] = 0, profile[1] = 0, profile[2] = 0, profile[3] = 200;
    std::copy_n("acsp", 4, profile.begin() + 36);
    std::vector<Bytes> seeds;
    for (size_t chunk : {size_t(200), size_t(64), size_t(7)}) {
        Bytes seed = {uint8_t(IccChunks(profile, chunk).size() - 1)};
        for (const Bytes& body : IccChunks(profile, chunk)) seed.insert(seed.end(), body.begin(), body.end());
        seeds.push_back(seed);
    }
    const double srgb[3][3] = {{0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};
    for (bool curve : {true, false}) {
        Bytes seed = {0};
        const Bytes matrix = MatrixProfile(srgb, curve ? 2.4 : 2.2, curve);
        seed.insert(seed.end(), matrix.begin(), matrix.end());
        seeds.push_back(seed);
    }
    return seeds;
}
