#include "box_filter.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "vector_path.h"

namespace {

// GLU works on 16-bit values: a byte b becomes b * 257, and a result r goes
// back to the byte r >> 8.
constexpr uint32_t kWiden = 257;

// One source pixel of an output pixel's box along one axis, and the share of
// it that the box covers.
struct Tap {
    uint32_t index;
    float percent;
};

// The taps of every output index along one axis: those of output i are
// taps[first[i]] up to taps[first[i + 1]].
struct Axis {
    Tap* taps = nullptr;
    uint32_t* first = nullptr;
    ~Axis() {
        delete[] taps;
        delete[] first;
    }
};

// Walks the box of output index `i` as GLU does, in its float and double
// arithmetic, calling `take` with each source index and its share. The box
// is centred on the scaled centre of the output pixel: as wide as the scale
// when shrinking, one source pixel when enlarging. Source indices wrap.
template <typename Take>
void WalkBox(uint32_t in, uint32_t out, uint32_t i, Take take) {
    const float conv = float(in) / float(out);
    const float half = conv / 2;
    const float centre = float(conv * (double(i) + 0.5));
    float low, high;
    if (in > out) {
        high = centre + half;
        low = centre - half;
    } else {
        high = float(double(centre) + 0.5);
        low = float(double(centre) - 0.5);
    }
    float at = low;
    int cell = int(std::floor(double(at)));
    while (at < high) {
        const uint32_t index = uint32_t((int64_t(cell) + in) % in);
        const float percent = high < float(cell + 1) ? high - at : float(cell + 1) - at;
        take(index, percent);
        ++cell;
        at = float(cell);
    }
}

bool BuildAxis(uint32_t in, uint32_t out, Axis* axis) {
    size_t count = 0;
    for (uint32_t i = 0; i < out; ++i)
        WalkBox(in, out, i, [&](uint32_t, float) { ++count; });
    axis->taps = new (std::nothrow) Tap[count ? count : 1];
    axis->first = new (std::nothrow) uint32_t[size_t(out) + 1];
    if (!axis->taps || !axis->first) return false;
    uint32_t n = 0;
    for (uint32_t i = 0; i < out; ++i) {
        axis->first[i] = n;
        WalkBox(in, out, i, [&](uint32_t index, float percent) {
            axis->taps[n++] = {index, percent};
        });
    }
    axis->first[out] = n;
    return true;
}

// GLU's rounding of a box average back to a byte: the 16-bit value is the
// single-precision total plus a half, divided by the area in double
// precision and truncated.
inline uint8_t Narrow(float total, float area) {
    const int value = int((double(total) + 0.5) / double(area));
    return uint8_t(uint16_t(value) >> 8);
}

#if KINDORA_SSE2
// The pixel's components as a word, a missing fourth one 0.
inline uint32_t PixelBits(const uint8_t* p, int components) {
    return components == 4
               ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
               : uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
}

// The pixel's components widened to GLU's 16-bit values, as floats.
inline __m128 WidenedPixel(const uint8_t* p, int components) {
    const __m128i zero = _mm_setzero_si128();
    __m128i wide = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(PixelBits(p, components))), zero);
    wide = _mm_unpacklo_epi16(wide, zero);
    return _mm_mul_ps(_mm_cvtepi32_ps(wide), _mm_set1_ps(float(kWiden)));
}

// Narrows four single-precision totals of a box of `area` as Narrow does,
// two to a double-precision division, into `values`.
inline void NarrowFour(__m128 totals, float area, int32_t* values) {
    const __m128d half = _mm_set1_pd(0.5), divisor = _mm_set1_pd(double(area));
    const __m128d low = _mm_div_pd(_mm_add_pd(_mm_cvtps_pd(totals), half), divisor);
    const __m128d high =
        _mm_div_pd(_mm_add_pd(_mm_cvtps_pd(_mm_movehl_ps(totals, totals)), half), divisor);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values),
                     _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high)));
}
#endif

// One output pixel of the general filter: every source pixel under the box,
// rows outer and columns inner, each weighted by the product of its two
// shares, summed in single precision in GLU's order. The four lanes of the
// vector form are four independent single-precision sums, the same ones.
void BoxPixel(const uint8_t* in, size_t rowBytes, int components, const Tap* yFirst,
              const Tap* yEnd, const Tap* xFirst, const Tap* xEnd, uint8_t* out) {
    float area = 0;
#if KINDORA_SSE2
    __m128 totals = _mm_setzero_ps();
    for (const Tap* y = yFirst; y < yEnd; ++y) {
        const uint8_t* row = in + size_t(y->index) * rowBytes;
        for (const Tap* x = xFirst; x < xEnd; ++x) {
            const float percent = x->percent * y->percent;
            area += percent;
            const __m128 pixel = WidenedPixel(row + size_t(x->index) * components, components);
            totals = _mm_add_ps(totals, _mm_mul_ps(pixel, _mm_set1_ps(percent)));
        }
    }
    int32_t values[4];
    NarrowFour(totals, area, values);
    for (int k = 0; k < components; ++k)
        out[k] = uint8_t(uint16_t(values[k]) >> 8);
#else
    float sums[4] = {0, 0, 0, 0};
    for (const Tap* y = yFirst; y < yEnd; ++y) {
        const uint8_t* row = in + size_t(y->index) * rowBytes;
        for (const Tap* x = xFirst; x < xEnd; ++x) {
            const float percent = x->percent * y->percent;
            area += percent;
            const uint8_t* pixel = row + size_t(x->index) * components;
            for (int k = 0; k < components; ++k)
                sums[k] += float(pixel[k] * kWiden) * percent;
        }
    }
    for (int k = 0; k < components; ++k)
        out[k] = Narrow(sums[k], area);
#endif
}

#if KINDORA_AVX2
// Two neighbouring output pixels of the general filter, one in each half of
// an AVX vector: each half adds exactly what BoxPixel adds for its pixel, in
// the same order. Where one pixel's box has fewer columns than the other's,
// its half adds zero shares of its first column, which leave its sums as
// they are. The second pixel's taps follow the first's.
KINDORA_AVX2_TARGET void BoxPixelPair(const uint8_t* in, size_t rowBytes, int components,
                                      const Tap* yFirst, const Tap* yEnd, const Tap* first,
                                      const Tap* second, const Tap* secondEnd, uint8_t* out) {
    const int n0 = int(second - first), n1 = int(secondEnd - second);
    const int n = n0 > n1 ? n0 : n1;
    __m256 totals = _mm256_setzero_ps(), areas = _mm256_setzero_ps();
    for (const Tap* y = yFirst; y < yEnd; ++y) {
        const uint8_t* row = in + size_t(y->index) * rowBytes;
        for (int t = 0; t < n; ++t) {
            const Tap& a = first[t < n0 ? t : 0];
            const Tap& b = second[t < n1 ? t : 0];
            const float shareA = t < n0 ? a.percent * y->percent : 0.0f;
            const float shareB = t < n1 ? b.percent * y->percent : 0.0f;
            const __m256 shares = _mm256_set_m128(_mm_set1_ps(shareB), _mm_set1_ps(shareA));
            const uint64_t bits =
                uint64_t(PixelBits(row + size_t(a.index) * components, components)) |
                uint64_t(PixelBits(row + size_t(b.index) * components, components)) << 32;
            const __m256 pixels = _mm256_mul_ps(
                _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_cvtsi64_si128(int64_t(bits)))),
                _mm256_set1_ps(float(kWiden)));
            areas = _mm256_add_ps(areas, shares);
            totals = _mm256_add_ps(totals, _mm256_mul_ps(pixels, shares));
        }
    }
    int32_t values[8];
    NarrowFour(_mm256_castps256_ps128(totals), _mm256_cvtss_f32(areas), values);
    NarrowFour(_mm256_extractf128_ps(totals, 1), _mm_cvtss_f32(_mm256_extractf128_ps(areas, 1)),
               values + 4);
    for (int k = 0; k < components; ++k) {
        out[k] = uint8_t(uint16_t(values[k]) >> 8);
        out[components + k] = uint8_t(uint16_t(values[4 + k]) >> 8);
    }
}
#endif

bool GeneralBox(const uint8_t* in, uint32_t inWide, uint32_t inHigh, int components, uint8_t* out,
                uint32_t outWide, uint32_t outHigh) {
    Axis xs, ys;
    if (!BuildAxis(inWide, outWide, &xs) || !BuildAxis(inHigh, outHigh, &ys)) return false;
    const size_t rowBytes = size_t(inWide) * components;
#if KINDORA_AVX2
    const bool pairs = WidePictureForms();
#endif
    for (uint32_t i = 0; i < outHigh; ++i) {
        const Tap* yFirst = ys.taps + ys.first[i];
        const Tap* yEnd = ys.taps + ys.first[i + 1];
        uint8_t* target = out + size_t(i) * outWide * components;
        uint32_t j = 0;
#if KINDORA_AVX2
        if (pairs) {
            for (; j + 2 <= outWide; j += 2, target += 2 * components) {
                BoxPixelPair(in, rowBytes, components, yFirst, yEnd, xs.taps + xs.first[j],
                             xs.taps + xs.first[j + 1], xs.taps + xs.first[j + 2], target);
            }
        }
#endif
        for (; j < outWide; ++j, target += components) {
            BoxPixel(in, rowBytes, components, yFirst, yEnd, xs.taps + xs.first[j],
                     xs.taps + xs.first[j + 1], target);
        }
    }
    return true;
}

// The most source pixels a box may hold for integer sums: then every
// single-precision partial sum of 16-bit values (at most 255 x 257 x 256 <
// 2^24) is exact, so integer sums give GLU's totals.
constexpr uint32_t kExactBoxPixels = 256;

bool Halving(const BoxShrink& box) {
    return box.kx == 2 && box.ky == 2;
}

// The sums of each component over the kx column sums of one output pixel.
// No sum passes 16 bits (a box holds at most kExactBoxPixels), so with four
// components and an even kx, two pixels' sums are added at a time in 16-bit
// lanes.
void SumGroup(const BoxShrink& box, const uint16_t* group, uint32_t* sums) {
#if KINDORA_SSE2
    if (box.components == 4 && box.kx % 2 == 0) {
        __m128i pairs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
        for (uint32_t t = 2; t < box.kx; t += 2) {
            pairs = _mm_add_epi16(pairs,
                                  _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 4 * t)));
        }
        alignas(16) uint16_t lanes[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes),
                        _mm_add_epi16(pairs, _mm_srli_si128(pairs, 8)));
        for (int k = 0; k < 4; ++k)
            sums[k] = lanes[k];
        return;
    }
#endif
    for (uint32_t t = 0; t < box.kx; ++t, group += box.components) {
        for (int k = 0; k < box.components; ++k)
            sums[k] += group[k];
    }
}

// One output row from the column sums of its ky source rows. Halving: GLU
// averages each 2 x 2 block of 16-bit values in integers, rounding half up,
// instead of running its box. Otherwise every share is 1, the area is
// N = kx x ky and the float totals are exact, so GLU's byte is
// floor((257 S + 0.5) / N) >> 8 for the byte sum S, which is
// floor((257 S + 0.5) / 256 N); no multiple of 256 N lies between 257 S and
// 257 S + 0.5, so it is floor(257 S / 256 N).
//
// The division is a multiply and a shift: with m = ceil(2^48 / d) for the
// divisor d <= 2^16, n m / 2^48 exceeds n / d by less than n d / 2^48 / d,
// and as n = 257 S < 2^24, that is below 1 / d, the least step of n / d:
// the floor is the same.
void NarrowSums(const BoxShrink& box, uint8_t* out) {
    const uint32_t divisor = 256 * box.kx * box.ky;
    const uint64_t inverse = ((uint64_t(1) << 48) + divisor - 1) / divisor;
    const uint16_t* group = box.sums;
    for (uint32_t j = 0; j < box.outWide; ++j, group += box.kx * box.components) {
        uint32_t sums[4] = {0, 0, 0, 0};
        SumGroup(box, group, sums);
        for (int k = 0; k < box.components; ++k) {
            *out++ = Halving(box) ? uint8_t((sums[k] * kWiden + 2) / 4 >> 8)
                                  : uint8_t((uint64_t(kWiden * sums[k]) * inverse) >> 48);
        }
    }
}

// Boxes of more than kExactBoxPixels: the totals of each output pixel summed
// in single precision in GLU's order, rows outer and columns inner (each
// share is 1, so each term is the 16-bit value itself).
void AddToTotals(BoxShrink* box, const uint8_t* row) {
    float* totals = box->totals;
    for (uint32_t j = 0; j < box->outWide; ++j, totals += box->components) {
        for (uint32_t t = 0; t < box->kx; ++t, row += box->components) {
            for (int k = 0; k < box->components; ++k)
                totals[k] += float(row[k] * kWiden);
        }
    }
}

// The column sums of a band: the first row's bytes, then each row's added.
void AddToColumnSums(uint16_t* sums, const uint8_t* row, size_t values, bool first) {
    size_t v = 0;
#if KINDORA_SSE2
    const __m128i zero = _mm_setzero_si128();
    for (; v + 16 <= values; v += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + v));
        __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
        __m128i* at = reinterpret_cast<__m128i*>(sums + v);
        if (!first) {
            lo = _mm_add_epi16(lo, _mm_loadu_si128(at));
            hi = _mm_add_epi16(hi, _mm_loadu_si128(at + 1));
        }
        _mm_storeu_si128(at, lo);
        _mm_storeu_si128(at + 1, hi);
    }
#endif
    for (; v < values; ++v)
        sums[v] = uint16_t((first ? 0 : sums[v]) + row[v]);
}

#if KINDORA_AVX2
// AddToColumnSums in the AVX2 form, thirty-two values at a time; the SSE2
// form takes the rest.
KINDORA_AVX2_TARGET void AddToColumnSumsWide(uint16_t* sums, const uint8_t* row, size_t values,
                                             bool first) {
    size_t v = 0;
    for (; v + 32 <= values; v += 32) {
        __m256i lo =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + v)));
        __m256i hi =
            _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + v + 16)));
        __m256i* at = reinterpret_cast<__m256i*>(sums + v);
        if (!first) {
            lo = _mm256_add_epi16(lo, _mm256_loadu_si256(at));
            hi = _mm256_add_epi16(hi, _mm256_loadu_si256(at + 1));
        }
        _mm256_storeu_si256(at, lo);
        _mm256_storeu_si256(at + 1, hi);
    }
    AddToColumnSums(sums + v, row + v, values - v, first);
}
#endif

bool widePictureForms = true;

}  // namespace

void UseWidePictureForms(bool wide) {
    widePictureForms = wide;
}

bool WidePictureForms() {
    return widePictureForms && CpuRunsAvx2();
}

bool BeginBoxShrink(BoxShrink* box, uint32_t inWide, uint32_t inHigh, int components, uint8_t* out,
                    uint32_t outWide, uint32_t outHigh) {
    if (!out || (components != 3 && components != 4)) return false;
    if (!outWide || !outHigh || inWide % outWide || inHigh % outHigh || !inWide || !inHigh) {
        return false;
    }
    if (inWide > kBoxFilterMaxSide || inHigh > kBoxFilterMaxSide) return false;
    *box = BoxShrink{};
    box->components = components;
    box->inWide = inWide;
    box->outWide = outWide;
    box->kx = inWide / outWide;
    box->ky = inHigh / outHigh;
    box->out = out;
    box->wide = WidePictureForms();
    if (box->kx * box->ky <= kExactBoxPixels) {
        box->sums = new (std::nothrow) uint16_t[size_t(inWide) * components];
    } else {
        box->totals = new (std::nothrow) float[size_t(outWide) * components];
    }
    if (!box->sums && !box->totals) return false;
    return true;
}

void AddBoxShrinkRow(BoxShrink* box, const uint8_t* row) {
    const uint32_t band = box->rowsIn++ % box->ky;
    if (box->totals) {
        if (band == 0) memset(box->totals, 0, sizeof(float) * box->outWide * box->components);
        AddToTotals(box, row);
    } else {
        const size_t values = size_t(box->inWide) * box->components;
#if KINDORA_AVX2
        if (box->wide) {
            AddToColumnSumsWide(box->sums, row, values, band == 0);
        } else
#endif
        {
            AddToColumnSums(box->sums, row, values, band == 0);
        }
    }
    if (band + 1 < box->ky) return;
    if (box->totals) {
        const float area = float(box->kx * box->ky);
        for (size_t v = 0; v < size_t(box->outWide) * box->components; ++v) {
            box->out[v] = Narrow(box->totals[v], area);
        }
    } else {
        NarrowSums(*box, box->out);
    }
    box->out += size_t(box->outWide) * box->components;
}

void EndBoxShrink(BoxShrink* box) {
    delete[] box->sums;
    delete[] box->totals;
    *box = BoxShrink{};
}

bool BoxFilterScale(const uint8_t* in, uint32_t inWide, uint32_t inHigh, int components,
                    uint8_t* out, uint32_t outWide, uint32_t outHigh) {
    if (!in || !out || (components != 3 && components != 4)) return false;
    if (!inWide || !inHigh || !outWide || !outHigh) return false;
    if (inWide > kBoxFilterMaxSide || inHigh > kBoxFilterMaxSide || outWide > kBoxFilterMaxSide ||
        outHigh > kBoxFilterMaxSide) {
        return false;
    }
    BoxShrink box;
    if (BeginBoxShrink(&box, inWide, inHigh, components, out, outWide, outHigh)) {
        const size_t rowBytes = size_t(inWide) * components;
        for (uint32_t r = 0; r < inHigh; ++r)
            AddBoxShrinkRow(&box, in + r * rowBytes);
        EndBoxShrink(&box);
        return true;
    }
    return GeneralBox(in, inWide, inHigh, components, out, outWide, outHigh);
}
