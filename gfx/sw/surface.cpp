// Colour and depth surfaces: allocation, whole and rectangle clears with the
// written-rows bookkeeping that lets a whole Clear put back only what was drawn, and
// the flip a held frame needs. Rows of a whole clear are shared among the row threads;
// nothing here draws.
#include "gfx/sw/surface.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cassert>
#include <memory>

#include "gfx/sw/kernels.h"
#include "gfx/sw/rows.h"

namespace sw {

namespace {

// Uninitialised pixels. emscripten's C++ library (LLVM 14's) lacks
// make_shared_for_overwrite; a plain new[] leaves them untouched too.
template <class Pixel>
std::shared_ptr<Pixel[]> allocatePixels(std::size_t count) {
#if defined(__cpp_lib_smart_ptr_for_overwrite)
    return std::make_shared_for_overwrite<Pixel[]>(count);
#else
    return std::shared_ptr<Pixel[]>(new Pixel[count]);
#endif
}

#if defined(__x86_64__) || defined(__i386__)
// 32-byte stores where the processor has AVX2: a clear runs over every row the last
// frame drew, so it is a tenth of a frame's instructions with 16-byte ones.
template <class Pixel>
__attribute__((target("avx2"))) void fillWide(Pixel* at, std::size_t count, Pixel value) {
    constexpr std::size_t kLanes = 32 / sizeof(Pixel);
    const __m256i v = sizeof(Pixel) == 4 ? _mm256_set1_epi32(static_cast<int>(value))
                                         : _mm256_set1_epi16(static_cast<short>(value));
    if (count < kLanes) {
        std::fill_n(at, count, value);
        return;
    }
    std::size_t i = 0;
    for (; i + 2 * kLanes <= count; i += 2 * kLanes) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + i), v);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + i + kLanes), v);
    }
    if (i + kLanes <= count) _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + i), v);
    // The last few, overlapping what is already stored.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(at + count - kLanes), v);
}
#endif

// Whether clears take 32-byte stores: with the AVX2 and AVX-512 span kernels, so the
// kernels chosen (tests select each in turn) decide for clears too.
bool wideStores() {
#if defined(__x86_64__) || defined(__i386__)
    const SpanKernels kernels = spanKernels();
    return kernels == SpanKernels::avx2 || kernels == SpanKernels::avx512;
#else
    return false;
#endif
}

template <class Pixel>
void fillRow(Pixel* at, std::size_t count, Pixel value, [[maybe_unused]] bool wide) {
#if defined(__x86_64__) || defined(__i386__)
    if (wide) return fillWide(at, count, value);
#endif
    std::fill_n(at, count, value);
}

}  // namespace

template <class Pixel>
Surface<Pixel>::Surface(int width, int height, Pixel initial, int buffers)
    : buffers_(buffers), width_(width), height_(height), initial_(initial) {
    assert(width > 0 && height > 0 && (buffers == 1 || buffers == 2));
    const std::size_t count = std::size_t(width) * height;
    // Not filled on allocation: a second buffer's pages stay untouched unless the
    // display ever holds a frame.
    for (int i = 0; i < buffers; ++i) {
        chain_[i].pixels = allocatePixels<Pixel>(count);
        chain_[i].value = initial;
        chain_[i].written.resize(height);
    }
    std::fill_n(chain_[0].pixels.get(), count, initial);
    chain_[0].filled = true;
}

template <class Pixel>
void Surface<Pixel>::clearTo(Pixel value, RowThreads* rows) {
    if (empty()) return;
    Buffer& b = chain_[back_];
    const bool onlyWritten = b.uniform && value == b.value;
    WrittenRows& written = b.written;
    Pixel* const base = pixels();
    const int width = width_, height = height_;
    const bool wide = wideStores();
    runOnRows(rows, [&](RowShare share) {
        if (!onlyWritten) {
            for (int y = share.firstFrom(0); y < height; y = share.nextAfter(y)) {
                fillRow(base + std::size_t(y) * width, std::size_t(width), value, wide);
            }
        }
        for (int y = share.firstFrom(written.top); y <= written.bottom; y = share.nextAfter(y)) {
            const int first = written.first[y], count = written.last[y] - first + 1;
            if (onlyWritten && count > 0) {
                fillRow(base + std::size_t(y) * width + first, std::size_t(count), value, wide);
            }
            written.first[y] = 0x7FFFFFFF;
            written.last[y] = -1;
        }
    });
    written.top = height;
    written.bottom = -1;
    b.uniform = true;
    b.value = value;
}

template <class Pixel>
void Surface<Pixel>::clearRect(int x0, int y0, int x1, int y1, Pixel value) {
    assert(0 <= x0 && 0 <= y0 && x1 <= width_ && y1 <= height_);
    if (empty() || x0 >= x1 || y0 >= y1) return;
    Buffer& b = chain_[back_];
    Pixel* const base = pixels();
    for (int y = y0; y < y1; ++y) {
        std::fill(base + std::size_t(y) * width_ + x0, base + std::size_t(y) * width_ + x1, value);
        // A part of the buffer may now differ from the value the rest holds.
        b.written.noteColumns(y, x0, x1 - 1);
    }
    b.written.noteRows(y0, y1 - 1);
}

template <class Pixel>
void Surface<Pixel>::flip() {
    assert(buffers_ == 2 && lent_ == nullptr);  // lent memory is never held
    back_ ^= 1;
    Buffer& next = chain_[back_];
    if (next.filled) return;
    std::fill_n(next.pixels.get(), std::size_t(width_) * height_, initial_);
    next.filled = true;
}

template class Surface<std::uint32_t>;
template class Surface<std::uint16_t>;

}  // namespace sw
