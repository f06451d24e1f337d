// BC7 and BC6H blocks, decoded as the Direct3D 11 block formats define them.
// Everything about a mode is a row of a table here; the code walks the rows.
// A block is copied into two 64-bit words first, so no read goes past its 16
// bytes whatever its mode bits say.
#include "convert/formats/bptc.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

namespace morvane::formats::bptc {

namespace {

constexpr int BlockBits = 128;
constexpr int Texels = 16;

// The 128 bits of one block, taken lowest first. Only the 16 bytes given are
// read, once; bits taken past the end are zeros.
class BitReader
{
public:
    explicit BitReader(const uchar *block)
    {
        for (int i = 7; i >= 0; --i) {
            m_low = m_low << 8 | block[i];
            m_high = m_high << 8 | block[8 + i];
        }
    }

    // The next count bits (0 to 32) as a number whose lowest bit came first.
    int take(int count)
    {
        if (count <= 0)
            return 0;
        count = std::min(count, 32);
        const quint64 value = m_low & ((quint64(1) << count) - 1);
        m_low = m_low >> count | m_high << (64 - count);
        m_high >>= count;
        return int(value);
    }

private:
    quint64 m_low = 0;
    quint64 m_high = 0;
};

// Which subset each texel of a block belongs to, for the 64 partitions of
// two and of three subsets (BC6H uses the first 32 of two).
constexpr uchar TwoSubsets[64][Texels] = {
    {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1},
    {0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1},
    {0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1},
    {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1, 1},
    {0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1},
    {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1, 1},
    {0, 1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0},
    {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0},
    {0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 0},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0},
    {0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 1},
    {0, 0, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0},
    {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 0},
    {0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0},
    {0, 0, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0, 1, 1, 0, 0},
    {0, 0, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0},
    {0, 1, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 0},
    {0, 0, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0},
    {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1},
    {0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1},
    {0, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0},
    {0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0},
    {0, 0, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1, 1, 1, 0, 0},
    {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0},
    {0, 1, 1, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 0, 0, 1},
    {0, 1, 0, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1},
    {0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 1, 0},
    {0, 0, 0, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 0, 0, 0},
    {0, 0, 1, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 0},
    {0, 0, 1, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1, 1, 0, 0},
    {0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 1, 1, 0},
    {0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1},
    {0, 1, 1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 1, 0, 0, 1},
    {0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0},
    {0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0},
    {0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0},
    {0, 0, 0, 0, 0, 1, 0, 0, 1, 1, 1, 0, 0, 1, 0, 0},
    {0, 1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 1},
    {0, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0},
    {0, 0, 1, 1, 1, 0, 0, 1, 1, 1, 0, 0, 0, 1, 1, 0},
    {0, 1, 1, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 1},
    {0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 0, 0, 1},
    {0, 1, 1, 1, 1, 1, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1},
    {0, 0, 0, 1, 1, 0, 0, 0, 1, 1, 1, 0, 0, 1, 1, 1},
    {0, 0, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0},
    {0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1, 1, 1, 0},
    {0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 0, 1, 1, 1},
};

constexpr uchar ThreeSubsets[64][Texels] = {
    {0, 0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 1, 2, 2, 2, 2},
    {0, 0, 0, 1, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 2, 0, 0, 1, 2, 2, 1, 1, 2, 2, 1, 1},
    {0, 2, 2, 2, 0, 0, 2, 2, 0, 0, 1, 1, 0, 1, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2},
    {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 2, 2},
    {0, 0, 2, 2, 0, 0, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1},
    {0, 0, 1, 1, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1},
    {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2},
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2},
    {0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2, 0, 1, 1, 2},
    {0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2, 2, 0, 1, 2, 2},
    {0, 0, 1, 1, 0, 1, 1, 2, 1, 1, 2, 2, 1, 2, 2, 2},
    {0, 0, 1, 1, 2, 0, 0, 1, 2, 2, 0, 0, 2, 2, 2, 0},
    {0, 0, 0, 1, 0, 0, 1, 1, 0, 1, 1, 2, 1, 1, 2, 2},
    {0, 1, 1, 1, 0, 0, 1, 1, 2, 0, 0, 1, 2, 2, 0, 0},
    {0, 0, 0, 0, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2},
    {0, 0, 2, 2, 0, 0, 2, 2, 0, 0, 2, 2, 1, 1, 1, 1},
    {0, 1, 1, 1, 0, 1, 1, 1, 0, 2, 2, 2, 0, 2, 2, 2},
    {0, 0, 0, 1, 0, 0, 0, 1, 2, 2, 2, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 2, 0, 1, 2, 2},
    {0, 0, 0, 0, 1, 1, 0, 0, 2, 2, 1, 0, 2, 2, 1, 0},
    {0, 1, 2, 2, 0, 1, 2, 2, 0, 0, 1, 1, 0, 0, 0, 0},
    {0, 0, 1, 2, 0, 0, 1, 2, 1, 1, 2, 2, 2, 2, 2, 2},
    {0, 1, 1, 0, 1, 2, 2, 1, 1, 2, 2, 1, 0, 1, 1, 0},
    {0, 0, 0, 0, 0, 1, 1, 0, 1, 2, 2, 1, 1, 2, 2, 1},
    {0, 0, 2, 2, 1, 1, 0, 2, 1, 1, 0, 2, 0, 0, 2, 2},
    {0, 1, 1, 0, 0, 1, 1, 0, 2, 0, 0, 2, 2, 2, 2, 2},
    {0, 0, 1, 1, 0, 1, 2, 2, 0, 1, 2, 2, 0, 0, 1, 1},
    {0, 0, 0, 0, 2, 0, 0, 0, 2, 2, 1, 1, 2, 2, 2, 1},
    {0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 2, 2, 2},
    {0, 2, 2, 2, 0, 0, 2, 2, 0, 0, 1, 2, 0, 0, 1, 1},
    {0, 0, 1, 1, 0, 0, 1, 2, 0, 0, 2, 2, 0, 2, 2, 2},
    {0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0, 0, 1, 2, 0},
    {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0},
    {0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0},
    {0, 1, 2, 0, 2, 0, 1, 2, 1, 2, 0, 1, 0, 1, 2, 0},
    {0, 0, 1, 1, 2, 2, 0, 0, 1, 1, 2, 2, 0, 0, 1, 1},
    {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 0, 0, 0, 0, 1, 1},
    {0, 1, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 2, 1, 2, 1, 2, 1},
    {0, 0, 2, 2, 1, 1, 2, 2, 0, 0, 2, 2, 1, 1, 2, 2},
    {0, 0, 2, 2, 0, 0, 1, 1, 0, 0, 2, 2, 0, 0, 1, 1},
    {0, 2, 2, 0, 1, 2, 2, 1, 0, 2, 2, 0, 1, 2, 2, 1},
    {0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 0, 1, 0, 1},
    {0, 0, 0, 0, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1, 2, 1},
    {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 2, 2, 2, 2},
    {0, 2, 2, 2, 0, 1, 1, 1, 0, 2, 2, 2, 0, 1, 1, 1},
    {0, 0, 0, 2, 1, 1, 1, 2, 0, 0, 0, 2, 1, 1, 1, 2},
    {0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 1, 2, 2, 1, 1, 2},
    {0, 2, 2, 2, 0, 1, 1, 1, 0, 1, 1, 1, 0, 2, 2, 2},
    {0, 0, 0, 2, 1, 1, 1, 2, 1, 1, 1, 2, 0, 0, 0, 2},
    {0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 2, 2},
    {0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2, 2, 1, 1, 2},
    {0, 1, 1, 0, 0, 1, 1, 0, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 0, 2, 2, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 2, 2},
    {0, 0, 2, 2, 1, 1, 2, 2, 1, 1, 2, 2, 0, 0, 2, 2},
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 1, 2},
    {0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1},
    {0, 2, 2, 2, 1, 2, 2, 2, 0, 2, 2, 2, 1, 2, 2, 2},
    {0, 1, 0, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2},
    {0, 1, 1, 1, 2, 0, 1, 1, 2, 2, 0, 1, 2, 2, 2, 0},
};

// The texel of each subset after the first whose index is stored one bit
// short (its top bit is zero); the first subset's is always texel 0.
constexpr uchar SecondAnchorOfTwo[64] = {
    15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,
    15,  2,  8,  2,  2,  8,  8, 15,  2,  8,  2,  2,  8,  8,  2,  2,
    15, 15,  6,  8,  2,  8, 15, 15,  2,  8,  2,  2,  2, 15, 15,  6,
     6,  2,  6,  8, 15, 15,  2,  2, 15, 15, 15, 15, 15,  2,  2, 15,
};
constexpr uchar SecondAnchorOfThree[64] = {
     3,  3, 15, 15,  8,  3, 15, 15,  8,  8,  6,  6,  6,  5,  3,  3,
     3,  3,  8, 15,  3,  3,  6, 10,  5,  8,  8,  6,  8,  5, 15, 15,
     8, 15,  3,  5,  6, 10,  8, 15, 15,  3, 15,  5, 15, 15, 15, 15,
     3, 15,  5,  5,  5,  8,  5, 10,  5, 10,  8, 13, 15, 12,  3,  3,
};
constexpr uchar ThirdAnchorOfThree[64] = {
    15,  8,  8,  3, 15, 15,  3,  8, 15, 15, 15, 15, 15, 15, 15,  8,
    15,  8, 15,  3, 15,  8, 15,  8,  3, 15,  6, 10, 15, 15, 10,  8,
    15,  3, 15, 10, 10,  8,  9, 10,  6, 15,  8, 15,  3,  6,  6,  8,
    15,  3, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15,  3, 15, 15,  8,
};

// Each anchor lies in the subset it stands for.
static_assert([] {
    for (int p = 0; p < 64; ++p) {
        if (TwoSubsets[p][SecondAnchorOfTwo[p]] != 1 || ThreeSubsets[p][SecondAnchorOfThree[p]] != 1
            || ThreeSubsets[p][ThirdAnchorOfThree[p]] != 2)
            return false;
    }
    return true;
}());

// The weight (of 64) of the second endpoint for 2-, 3- and 4-bit indices.
constexpr uchar Weights2[4] = {0, 21, 43, 64};
constexpr uchar Weights3[8] = {0, 9, 18, 27, 37, 46, 55, 64};
constexpr uchar Weights4[16] = {0, 4, 9, 13, 17, 21, 26, 30, 34, 38, 43, 47, 51, 55, 60, 64};

const uchar *weightsFor(int indexBits)
{
    return indexBits == 2 ? Weights2 : indexBits == 3 ? Weights3 : Weights4;
}

int interpolate(int first, int second, int weight)
{
    return ((64 - weight) * first + weight * second + 32) >> 6;
}

int subsetOf(int subsets, int partition, int texel)
{
    return subsets == 3 ? ThreeSubsets[partition][texel] : subsets == 2 ? TwoSubsets[partition][texel] : 0;
}

bool isAnchor(int subsets, int partition, int texel)
{
    return texel == 0 || (subsets == 2 && texel == SecondAnchorOfTwo[partition])
           || (subsets == 3 && (texel == SecondAnchorOfThree[partition] || texel == ThirdAnchorOfThree[partition]));
}

// --- BC7 ---

// The layout of a BC7 mode. After the mode's unary number come the
// partition, rotation and index-selection bits; then each channel's
// endpoints (all reds, all greens, all blues, all alphas), the p-bits and the
// index sets.
struct Bc7Mode
{
    uchar subsets;
    uchar partitionBits;
    uchar rotationBits;
    uchar selectionBits;
    uchar colourBits;
    uchar alphaBits;          // 0: opaque
    uchar endpointPBits;      // 1: a p-bit per endpoint
    uchar sharedPBits;        // 1: a p-bit per subset, shared by its two endpoints
    uchar indexBits;
    uchar secondaryIndexBits; // 0: one index set for colour and alpha
};

constexpr Bc7Mode Bc7Modes[8] = {
    {3, 4, 0, 0, 4, 0, 1, 0, 3, 0},
    {2, 6, 0, 0, 6, 0, 0, 1, 3, 0},
    {3, 6, 0, 0, 5, 0, 0, 0, 2, 0},
    {2, 6, 0, 0, 7, 0, 1, 0, 2, 0},
    {1, 0, 2, 1, 5, 6, 0, 0, 2, 3},
    {1, 0, 2, 0, 7, 8, 0, 0, 2, 2},
    {1, 0, 0, 0, 7, 7, 1, 0, 4, 0},
    {2, 6, 0, 0, 5, 5, 1, 0, 2, 0},
};

constexpr int bc7Bits(int number, const Bc7Mode &m)
{
    const int ends = 2 * m.subsets;
    return number + 1 + m.partitionBits + m.rotationBits + m.selectionBits + ends * (3 * m.colourBits + m.alphaBits)
           + ends * m.endpointPBits + m.subsets * m.sharedPBits + Texels * m.indexBits - m.subsets
           + (m.secondaryIndexBits ? Texels * m.secondaryIndexBits - 1 : 0);
}

// Each mode's fields fill the block exactly.
static_assert([] {
    for (int i = 0; i < 8; ++i) {
        if (bc7Bits(i, Bc7Modes[i]) != BlockBits)
            return false;
    }
    return true;
}());

// A quantized endpoint channel of width bits (with its p-bit) widened to 8
// bits by repeating its top bits below it.
int widen(int value, int width)
{
    return value << (8 - width) | value >> (2 * width - 8);
}

} // namespace

void decodeBc7(const uchar *block, uchar *rgba)
{
    BitReader bits(block);
    int number = 0;
    while (number < 8 && bits.take(1) == 0)
        ++number;
    if (number == 8) {
        std::memset(rgba, 0, 4 * Texels);
        return;
    }
    const Bc7Mode &m = Bc7Modes[number];
    const int partition = bits.take(m.partitionBits);
    const int rotation = bits.take(m.rotationBits);
    const int selection = bits.take(m.selectionBits);
    const int ends = 2 * m.subsets;

    int endpoints[6][4] = {};
    for (int c = 0; c < 4; ++c) {
        for (int e = 0; e < ends; ++e)
            endpoints[e][c] = bits.take(c < 3 ? m.colourBits : m.alphaBits);
    }
    int pBits[6] = {};
    for (int e = 0; e < ends; ++e) {
        if (m.endpointPBits)
            pBits[e] = bits.take(1);
        else if (m.sharedPBits && e % 2 == 0)
            pBits[e] = pBits[e + 1] = bits.take(1);
    }
    const int pWidth = m.endpointPBits | m.sharedPBits;
    for (int e = 0; e < ends; ++e) {
        for (int c = 0; c < 4; ++c) {
            const int width = c < 3 ? m.colourBits : m.alphaBits;
            endpoints[e][c] = width == 0 ? 255 : widen(endpoints[e][c] << pWidth | pBits[e], width + pWidth);
        }
    }

    int primary[Texels];
    int secondary[Texels] = {};
    for (int t = 0; t < Texels; ++t)
        primary[t] = bits.take(m.indexBits - isAnchor(m.subsets, partition, t));
    if (m.secondaryIndexBits) {
        for (int t = 0; t < Texels; ++t)
            secondary[t] = bits.take(m.secondaryIndexBits - (t == 0));
    }
    // With two index sets the selection bit says which one the colour takes.
    const bool colourSecondary = m.secondaryIndexBits && selection;
    const bool alphaSecondary = m.secondaryIndexBits && !selection;
    const uchar *colourWeights = weightsFor(colourSecondary ? m.secondaryIndexBits : m.indexBits);
    const uchar *alphaWeights = weightsFor(alphaSecondary ? m.secondaryIndexBits : m.indexBits);

    for (int t = 0; t < Texels; ++t) {
        const int subset = subsetOf(m.subsets, partition, t);
        const int *first = endpoints[2 * subset];
        const int *second = endpoints[2 * subset + 1];
        const int colourWeight = colourWeights[colourSecondary ? secondary[t] : primary[t]];
        const int alphaWeight = alphaWeights[alphaSecondary ? secondary[t] : primary[t]];
        int texel[4];
        for (int c = 0; c < 3; ++c)
            texel[c] = interpolate(first[c], second[c], colourWeight);
        texel[3] = interpolate(first[3], second[3], alphaWeight);
        // Rotation 1, 2 or 3 swaps alpha with red, green or blue.
        if (rotation)
            std::swap(texel[3], texel[rotation - 1]);
        for (int c = 0; c < 4; ++c)
            rgba[4 * t + c] = uchar(texel[c]);
    }
}

// --- BC6H ---

namespace {

// The numbers in a BC6H block's header: red, green and blue of its four
// endpoints (w and x span the first region, y and z the second) and the
// shape, the partition of the two regions.
enum Field : uchar { Rw, Gw, Bw, Rx, Gx, Bx, Ry, Gy, By, Rz, Gz, Bz, Shape, Fields };

// The next count bits of the block, lowest first, are bits low and up of field.
struct Run
{
    Field field;
    uchar low;
    uchar count;
};

struct Bc6hMode
{
    uchar code;              // the mode bits: 2 of them below 2, else 5
    bool transformed;        // x, y and z are signed deltas from w
    uchar regions;
    uchar endpointBits;      // precision of every endpoint after the deltas are undone
    uchar deltaBits[3];      // red, green, blue width of x, y and z as stored
    std::array<Run, 24> runs; // the header after the mode bits; unused runs are empty
};

// The fourteen modes, their headers bit by bit as they lie in the block. A
// run of one bit stands for a field's bits stored out of order.
constexpr Bc6hMode Bc6hModes[] = {
    {0x00, true, 2, 10, {5, 5, 5}, {{{Gy, 4, 1}, {By, 4, 1}, {Bz, 4, 1}, {Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10},
                                     {Rx, 0, 5}, {Gz, 4, 1}, {Gy, 0, 4}, {Gx, 0, 5}, {Bz, 0, 1}, {Gz, 0, 4},
                                     {Bx, 0, 5}, {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 5}, {Bz, 2, 1}, {Rz, 0, 5},
                                     {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x01, true, 2, 7, {6, 6, 6}, {{{Gy, 5, 1}, {Gz, 4, 1}, {Gz, 5, 1}, {Rw, 0, 7}, {Bz, 0, 1}, {Bz, 1, 1},
                                    {By, 4, 1}, {Gw, 0, 7}, {By, 5, 1}, {Bz, 2, 1}, {Gy, 4, 1}, {Bw, 0, 7},
                                    {Bz, 3, 1}, {Bz, 5, 1}, {Bz, 4, 1}, {Rx, 0, 6}, {Gy, 0, 4}, {Gx, 0, 6},
                                    {Gz, 0, 4}, {Bx, 0, 6}, {By, 0, 4}, {Ry, 0, 6}, {Rz, 0, 6}, {Shape, 0, 5}}}},
    {0x02, true, 2, 11, {5, 4, 4}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 5}, {Rw, 10, 1}, {Gy, 0, 4},
                                     {Gx, 0, 4}, {Gw, 10, 1}, {Bz, 0, 1}, {Gz, 0, 4}, {Bx, 0, 4}, {Bw, 10, 1},
                                     {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 5}, {Bz, 2, 1}, {Rz, 0, 5}, {Bz, 3, 1},
                                     {Shape, 0, 5}}}},
    {0x06, true, 2, 11, {4, 5, 4}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 4}, {Rw, 10, 1}, {Gz, 4, 1},
                                     {Gy, 0, 4}, {Gx, 0, 5}, {Gw, 10, 1}, {Gz, 0, 4}, {Bx, 0, 4}, {Bw, 10, 1},
                                     {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 4}, {Bz, 0, 1}, {Bz, 2, 1}, {Rz, 0, 4},
                                     {Gy, 4, 1}, {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x0A, true, 2, 11, {4, 4, 5}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 4}, {Rw, 10, 1}, {By, 4, 1},
                                     {Gy, 0, 4}, {Gx, 0, 4}, {Gw, 10, 1}, {Bz, 0, 1}, {Gz, 0, 4}, {Bx, 0, 5},
                                     {Bw, 10, 1}, {By, 0, 4}, {Ry, 0, 4}, {Bz, 1, 1}, {Bz, 2, 1}, {Rz, 0, 4},
                                     {Bz, 4, 1}, {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x0E, true, 2, 9, {5, 5, 5}, {{{Rw, 0, 9}, {By, 4, 1}, {Gw, 0, 9}, {Gy, 4, 1}, {Bw, 0, 9}, {Bz, 4, 1},
                                    {Rx, 0, 5}, {Gz, 4, 1}, {Gy, 0, 4}, {Gx, 0, 5}, {Bz, 0, 1}, {Gz, 0, 4},
                                    {Bx, 0, 5}, {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 5}, {Bz, 2, 1}, {Rz, 0, 5},
                                    {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x12, true, 2, 8, {6, 5, 5}, {{{Rw, 0, 8}, {Gz, 4, 1}, {By, 4, 1}, {Gw, 0, 8}, {Bz, 2, 1}, {Gy, 4, 1},
                                    {Bw, 0, 8}, {Bz, 3, 1}, {Bz, 4, 1}, {Rx, 0, 6}, {Gy, 0, 4}, {Gx, 0, 5},
                                    {Bz, 0, 1}, {Gz, 0, 4}, {Bx, 0, 5}, {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 6},
                                    {Rz, 0, 6}, {Shape, 0, 5}}}},
    {0x16, true, 2, 8, {5, 6, 5}, {{{Rw, 0, 8}, {Bz, 0, 1}, {By, 4, 1}, {Gw, 0, 8}, {Gy, 5, 1}, {Gy, 4, 1},
                                    {Bw, 0, 8}, {Gz, 5, 1}, {Bz, 4, 1}, {Rx, 0, 5}, {Gz, 4, 1}, {Gy, 0, 4},
                                    {Gx, 0, 6}, {Gz, 0, 4}, {Bx, 0, 5}, {Bz, 1, 1}, {By, 0, 4}, {Ry, 0, 5},
                                    {Bz, 2, 1}, {Rz, 0, 5}, {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x1A, true, 2, 8, {5, 5, 6}, {{{Rw, 0, 8}, {Bz, 1, 1}, {By, 4, 1}, {Gw, 0, 8}, {By, 5, 1}, {Gy, 4, 1},
                                    {Bw, 0, 8}, {Bz, 5, 1}, {Bz, 4, 1}, {Rx, 0, 5}, {Gz, 4, 1}, {Gy, 0, 4},
                                    {Gx, 0, 5}, {Bz, 0, 1}, {Gz, 0, 4}, {Bx, 0, 6}, {By, 0, 4}, {Ry, 0, 5},
                                    {Bz, 2, 1}, {Rz, 0, 5}, {Bz, 3, 1}, {Shape, 0, 5}}}},
    {0x1E, false, 2, 6, {6, 6, 6}, {{{Rw, 0, 6}, {Gz, 4, 1}, {Bz, 0, 1}, {Bz, 1, 1}, {By, 4, 1}, {Gw, 0, 6},
                                     {Gy, 5, 1}, {By, 5, 1}, {Bz, 2, 1}, {Gy, 4, 1}, {Bw, 0, 6}, {Gz, 5, 1},
                                     {Bz, 3, 1}, {Bz, 5, 1}, {Bz, 4, 1}, {Rx, 0, 6}, {Gy, 0, 4}, {Gx, 0, 6},
                                     {Gz, 0, 4}, {Bx, 0, 6}, {By, 0, 4}, {Ry, 0, 6}, {Rz, 0, 6}, {Shape, 0, 5}}}},
    {0x03, false, 1, 10, {10, 10, 10}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 10}, {Gx, 0, 10},
                                         {Bx, 0, 10}}}},
    {0x07, true, 1, 11, {9, 9, 9}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 9}, {Rw, 10, 1}, {Gx, 0, 9},
                                     {Gw, 10, 1}, {Bx, 0, 9}, {Bw, 10, 1}}}},
    {0x0B, true, 1, 12, {8, 8, 8}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 8}, {Rw, 11, 1}, {Rw, 10, 1},
                                     {Gx, 0, 8}, {Gw, 11, 1}, {Gw, 10, 1}, {Bx, 0, 8}, {Bw, 11, 1}, {Bw, 10, 1}}}},
    {0x0F, true, 1, 16, {4, 4, 4}, {{{Rw, 0, 10}, {Gw, 0, 10}, {Bw, 0, 10}, {Rx, 0, 4}, {Rw, 15, 1}, {Rw, 14, 1},
                                     {Rw, 13, 1}, {Rw, 12, 1}, {Rw, 11, 1}, {Rw, 10, 1}, {Gx, 0, 4}, {Gw, 15, 1},
                                     {Gw, 14, 1}, {Gw, 13, 1}, {Gw, 12, 1}, {Gw, 11, 1}, {Gw, 10, 1}, {Bx, 0, 4},
                                     {Bw, 15, 1}, {Bw, 14, 1}, {Bw, 13, 1}, {Bw, 12, 1}, {Bw, 11, 1}, {Bw, 10, 1}}}},
};

// Every mode's runs fill its header (82 bits with two regions, 65 with one)
// and give each field exactly the bits its width says, each once.
constexpr bool wellFormed(const Bc6hMode &m)
{
    int total = m.code < 2 ? 2 : 5;
    int covered[Fields] = {};
    for (const Run &run : m.runs) {
        const int bits = ((1 << run.count) - 1) << run.low;
        if (covered[run.field] & bits)
            return false;
        covered[run.field] |= bits;
        total += run.count;
    }
    const int ends = 2 * m.regions;
    for (int f = 0; f < Shape; ++f) {
        const int width = f >= 3 * ends ? 0 : f < 3 ? m.endpointBits : m.deltaBits[f % 3];
        if (covered[f] != (1 << width) - 1)
            return false;
    }
    return covered[Shape] == (m.regions == 2 ? 31 : 0) && total == (m.regions == 2 ? 82 : 65)
           && (m.transformed || (m.deltaBits[0] == m.endpointBits && m.deltaBits[1] == m.endpointBits
                                 && m.deltaBits[2] == m.endpointBits));
}

static_assert([] {
    for (const Bc6hMode &m : Bc6hModes) {
        if (!wellFormed(m))
            return false;
    }
    return true;
}());

// value's lowest bits bits as a two's-complement number.
int signExtend(int value, int bits)
{
    const int sign = 1 << (bits - 1);
    return ((value & ((sign << 1) - 1)) ^ sign) - sign;
}

// An endpoint channel of bits precision spread over the 16-bit range the
// interpolation works in.
int unquantize(int value, int bits, bool isSigned)
{
    if (!isSigned) {
        if (bits >= 15 || value == 0)
            return value;
        if (value == (1 << bits) - 1)
            return 0xFFFF;
        return ((value << 16) + 0x8000) >> bits;
    }
    if (bits >= 16)
        return value;
    const int magnitude = std::abs(value);
    int spread = 0x7FFF;
    if (magnitude == 0)
        spread = 0;
    else if (magnitude < (1 << (bits - 1)) - 1)
        spread = ((magnitude << 15) + 0x4000) >> (bits - 1);
    return value < 0 ? -spread : spread;
}

// An interpolated channel as the bits of a half float: 31/64 of the
// unsigned range, or 31/32 of the signed magnitude with a sign bit.
int finishUnquantize(int value, bool isSigned)
{
    if (!isSigned)
        return (value * 31) >> 6;
    return value < 0 ? 0x8000 | ((-value * 31) >> 5) : (value * 31) >> 5;
}

float halfToFloat(int half)
{
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    float magnitude = 0;
    if (exponent == 0)
        magnitude = std::ldexp(float(mantissa), -24);
    else if (exponent < 31)
        magnitude = std::ldexp(float(mantissa | 0x400), exponent - 25);
    else
        magnitude = mantissa ? NAN : INFINITY;
    return half & 0x8000 ? -magnitude : magnitude;
}

uchar toByte(float value)
{
    if (!(value > 0))
        return 0;
    if (value >= 1)
        return 255;
    return uchar(value * 255.0f);
}

} // namespace

void decodeBc6h(const uchar *block, bool isSigned, uchar *rgba)
{
    BitReader bits(block);
    int code = bits.take(2);
    if (code >= 2)
        code |= bits.take(3) << 2;
    const Bc6hMode *mode = std::find_if(std::begin(Bc6hModes), std::end(Bc6hModes),
                                        [code](const Bc6hMode &m) { return m.code == code; });
    if (mode == std::end(Bc6hModes)) {
        for (int t = 0; t < Texels; ++t) {
            std::memset(rgba + 4 * t, 0, 3);
            rgba[4 * t + 3] = 255;
        }
        return;
    }

    int fields[Fields] = {};
    for (const Run &run : mode->runs)
        fields[run.field] |= bits.take(run.count) << run.low;

    const int ends = 2 * mode->regions;
    const int width = mode->endpointBits;
    int endpoints[4][3] = {};
    for (int c = 0; c < 3; ++c) {
        const int base = fields[c];
        for (int e = 0; e < ends; ++e) {
            int value = fields[3 * e + c];
            // A delta is signed in every block; in a signed block the endpoint
            // it makes is sign-extended too, like the first.
            if (mode->transformed && e > 0)
                value = (base + signExtend(value, mode->deltaBits[c])) & ((1 << width) - 1);
            endpoints[e][c] = unquantize(isSigned ? signExtend(value, width) : value, width, isSigned);
        }
    }

    const int indexBits = mode->regions == 2 ? 3 : 4;
    const uchar *weights = weightsFor(indexBits);
    const int shape = fields[Shape];
    for (int t = 0; t < Texels; ++t) {
        const int subset = subsetOf(mode->regions, shape, t);
        const int weight = weights[bits.take(indexBits - isAnchor(mode->regions, shape, t))];
        for (int c = 0; c < 3; ++c) {
            const int value = interpolate(endpoints[2 * subset][c], endpoints[2 * subset + 1][c], weight);
            rgba[4 * t + c] = toByte(halfToFloat(finishUnquantize(value, isSigned)));
        }
        rgba[4 * t + 3] = 255;
    }
}

} // namespace morvane::formats::bptc
