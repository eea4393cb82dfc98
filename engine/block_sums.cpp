// SumBlock with SSE2, which every x86 processor since 2003 has (Pentium 4, Athlon 64) and
// Windows 8 and later require; MSVC builds for it by default. This is the only file built
// with it, so nothing else changes its floating point.
#include "engine/block_sums.h"

#include <emmintrin.h>

namespace {

constexpr int32_t kValuesPerVector = 8;  // four frames

int16_t Magnitude16(int16_t value) {
    return static_cast<int16_t>(static_cast<uint16_t>(value < 0 ? -int32_t(value) : value));
}

// The 64-bit sum of both halves of a pair of 64-bit lanes.
uint64_t LaneSum(__m128i lanes) {
    alignas(16) uint64_t parts[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(parts), lanes);
    return parts[0] + parts[1];
}

}  // namespace

BlockSums SumBlock(const int16_t* values, int32_t count) {
    BlockSums sums;
    const __m128i zero = _mm_setzero_si128();
    __m128i left64 = zero, right64 = zero, peaks = zero;
    int32_t i = 0;
    for (; i + kValuesPerVector <= count; i += kValuesPerVector) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i));
        // L0 R0 L1 R1 L2 R2 L3 R3 becomes L0 L1 L2 L3 R0 R1 R2 R3, so each 32-bit lane of the
        // multiply-add holds the squares of two values of one channel: at most 2^31, which
        // fits as unsigned (the one wrap, -32768 twice, gives 0x80000000 = 2^31 itself).
        __m128i channels = _mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 1, 2, 0));
        channels = _mm_shufflehi_epi16(channels, _MM_SHUFFLE(3, 1, 2, 0));
        channels = _mm_shuffle_epi32(channels, _MM_SHUFFLE(3, 1, 2, 0));
        const __m128i squares = _mm_madd_epi16(channels, channels);
        left64 = _mm_add_epi64(left64, _mm_unpacklo_epi32(squares, zero));
        right64 = _mm_add_epi64(right64, _mm_unpackhi_epi32(squares, zero));
        // max(v, 0 - v) wraps -32768 to itself, as the 16-bit magnitude does.
        peaks = _mm_max_epi16(peaks, _mm_max_epi16(v, _mm_sub_epi16(zero, v)));
    }
    sums.left = LaneSum(left64);
    sums.right = LaneSum(right64);
    alignas(16) int16_t lanes[kValuesPerVector];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), peaks);
    for (int lane = 0; lane < kValuesPerVector; lane += 2) {
        if (sums.peakLeft < lanes[lane]) sums.peakLeft = lanes[lane];
        if (sums.peakRight < lanes[lane + 1]) sums.peakRight = lanes[lane + 1];
    }
    for (; i + 1 < count; i += 2) {
        const int16_t l = Magnitude16(values[i]);
        if (sums.peakLeft < l) sums.peakLeft = l;
        sums.left += uint64_t(int32_t(l) * l);
        const int16_t r = Magnitude16(values[i + 1]);
        if (sums.peakRight < r) sums.peakRight = r;
        sums.right += uint64_t(int32_t(r) * r);
    }
    return sums;
}
