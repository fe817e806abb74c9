// A colour bitmap, alpha channel or mask locked for the length of one effect
// driver, with the checks every driver makes before it hands pixels to a
// kernel. Internal to graphics/.
#pragma once

#include <cstdint>

#include "errors/error_codes.h"
#include "graphics/bitmap/bitmap.h"
#include "graphics/pixels/pixel_format.h"

namespace cx::gfx {

// Widths, heights and row lengths the effect kernels accept: positions and
// products stay inside 32 bits with room to spare.
inline constexpr int32_t kMaxSide = 0x8000;

class LockedBitmap {
public:
    LockedBitmap() = default;
    LockedBitmap(const LockedBitmap &) = delete;
    LockedBitmap &operator=(const LockedBitmap &) = delete;
    ~LockedBitmap() { Release(); }

    // 0, ERR_LOCKBMAP when the bitmap cannot be locked, ERR_PIXELFORMAT for a
    // lock of the wrong kind, ERR_BADDIMENSIONS when width x height does not
    // fit the locked rows.
    int Colour(const cxBitmap *bitmap, int32_t width, int32_t height) {
        if (int e = Take(bitmap)) return e;
        if (lock_.pixelFormat >= CX_PIXFMT_COUNT || lock_.bytesPerPixel != GetBytesPerPixel(lock_.pixelFormat))
            return ERR_PIXELFORMAT;
        return Fits(width, height, int64_t(lock_.rowLength));
    }
    int Alpha(const cxBitmap *bitmap, int32_t width, int32_t height) {
        if (int e = Take(bitmap)) return e;
        if (lock_.pixelFormat != CX_PIXFMT_ALPHA) return ERR_PIXELFORMAT;
        return Fits(width, height, int64_t(lock_.rowLength));
    }
    int Mask(const cxBitmap *bitmap, int32_t width, int32_t height) {
        if (int e = Take(bitmap)) return e;
        if (lock_.pixelFormat != CX_PIXFMT_MASK) return ERR_PIXELFORMAT;
        return Fits(width, height, int64_t(lock_.rowLength) * 8);
    }
    void Release() {
        if (held_) UnlockBitmap(&lock_);
        held_ = false;
    }
    const cxOsBitmapLock &Lock() const { return lock_; }
    uint8_t *Pixels() const { return lock_.pixels; }
    uint32_t Format() const { return lock_.pixelFormat; }
    uint32_t BytesPerPixel() const { return lock_.bytesPerPixel; }
    int32_t RowLength() const { return int32_t(lock_.rowLength); }

private:
    int Take(const cxBitmap *bitmap) {
        Release();
        if (!bitmap) return ERR_LOCKBMAP;
        lock_ = cxOsBitmapLock{};
        const int ok = LockBitmap(bitmap, 0, &lock_);
        held_ = true;
        if (!ok || !lock_.locked || !lock_.pixels) return ERR_LOCKBMAP;
        return 0;
    }
    int Fits(int32_t width, int32_t height, int64_t rowUnits) const {
        if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) return ERR_BADDIMENSIONS;
        if (width > lock_.width || height > lock_.height || rowUnits < width) return ERR_BADDIMENSIONS;
        return 0;
    }
    cxOsBitmapLock lock_{};
    bool held_ = false;
};

} // namespace cx::gfx
