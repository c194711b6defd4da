// A colour or depth surface of the software device: its memory, what is known of its
// contents (one value everywhere outside the rows and columns written since it was
// filled), its clears, the bookkeeping view the stages draw through, and for colour the
// second buffer a held frame needs. Knows nothing of Direct3D state or of drawing.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace sw {

class RowThreads;  // rows.h

// The columns of each row written since a buffer was last filled with one value, so a
// Clear to that same value only has those to put back. Sized to the target's height
// once; noting a write allocates nothing. Rows are noted apart from their columns: the
// columns by whichever thread holds the row's share, the bounds by the thread that
// sets up the draw.
struct WrittenRows {
    // Cache-line aligned, so a block's records share no line with another block's.
    template <class T>
    struct LineAligned {
        using value_type = T;
        LineAligned() = default;
        template <class U>
        LineAligned(const LineAligned<U>&) {}  // NOLINT(google-explicit-constructor)
        T* allocate(std::size_t n) {
            // aligned_alloc takes whole multiples of the alignment.
            void* p = std::aligned_alloc(64, (n * sizeof(T) + 63) / 64 * 64);
            if (p == nullptr) throw std::bad_alloc();
            return static_cast<T*>(p);
        }
        void deallocate(T* p, std::size_t) { std::free(p); }
        bool operator==(const LineAligned&) const = default;
    };
    // per row; first > last: nothing written there
    std::vector<int, LineAligned<int>> first, last;
    int top = 0, bottom = -1;  // rows that may hold writes: at least all that do

    void resize(int height) {
        first.assign(static_cast<std::size_t>(height), 0x7FFFFFFF);
        last.assign(static_cast<std::size_t>(height), -1);
        top = height;
        bottom = -1;
    }
    void noteColumns(int y, int x0, int x1) {  // x0 <= x1, y inside the target
        if (x0 < first[y]) first[y] = x0;
        if (x1 > last[y]) last[y] = x1;
    }
    void noteRows(int y0, int y1) {  // y0 <= y1, both inside the target
        if (y0 < top) top = y0;
        if (y1 > bottom) bottom = y1;
    }
};

// width × height pixels, row-major, pitch == width. Pixel is std::uint32_t (X8R8G8B8)
// or std::uint16_t (D16), as stored.
template <class Pixel>
class Surface {
public:
    Surface() = default;  // no memory: a device without a depth buffer
    // Filled with `initial`. With `buffers` 2 a presented frame can be held while the
    // next is drawn (flip); the second buffer is only filled when first flipped to.
    // Throws std::bad_alloc.
    Surface(int width, int height, Pixel initial, int buffers = 1);

    bool empty() const { return width_ == 0; }
    // The memory drawn into, null when empty: the buffer's own, or memory lent to it.
    Pixel* pixels() const { return lent_ != nullptr ? lent_ : own(); }
    // The buffer's own memory, shared so a display can hold it.
    Pixel* own() const { return chain_[back_].pixels.get(); }
    const std::shared_ptr<Pixel[]>& shared() const { return chain_[back_].pixels; }
    // Draws from now on into `memory` (width × height, no padding), which holds what
    // pixels() holds now, so the buffer's bookkeeping stays true; null goes back to the
    // own memory, which the caller has made hold what the lent memory held.
    void drawInto(Pixel* memory) { lent_ = memory; }
    // Where the stages note what they write; null when empty.
    WrittenRows* written() { return empty() ? nullptr : &chain_[back_].written; }

    // Every pixel to `value`, rows shared among `rows` (null: the caller alone). When
    // the buffer already holds it outside the noted columns, only those are put back.
    void clearTo(Pixel value, RowThreads* rows);
    // Pixels [x0, x1) × [y0, y1), already inside the surface, to `value`.
    void clearRect(int x0, int y0, int x1, int y1, Pixel value);
    // Something outside the stages' notes wrote pixels: the next clearTo fills all.
    void invalidate() { chain_[back_].uniform = false; }
    // Whether the buffer holds one value outside the noted columns, and which.
    bool uniform(Pixel* value) const {
        *value = chain_[back_].value;
        return !empty() && chain_[back_].uniform;
    }
    // Draws from now on into the other buffer, the current one being held.
    void flip();

private:
    struct Buffer {
        std::shared_ptr<Pixel[]> pixels;
        bool filled = false;  // holds values; the second buffer waits for a flip
        bool uniform = true;  // holds `value` outside `written`; false: unknown
        Pixel value{};
        WrittenRows written;
    };

    std::array<Buffer, 2> chain_;
    Pixel* lent_ = nullptr;  // drawn into instead of chain_[back_].pixels; not owned
    int back_ = 0;
    int buffers_ = 0;
    int width_ = 0;
    int height_ = 0;
    Pixel initial_{};
};

using ColorSurface = Surface<std::uint32_t>;
using DepthSurface = Surface<std::uint16_t>;

}  // namespace sw
