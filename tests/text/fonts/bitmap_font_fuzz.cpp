// libFuzzer target for the bitmap-font readers. The first byte chooses the
// reader: the size-file reader (and then drawing and measuring every
// character with the font it made, into a colour bitmap and a mask), or the
// contents-file reader. The rest of the input is the file, read through a
// memory stream.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "graphics/bitmap/bitmap.h"
#include "streams/memory_name.h"
#include "streams/stream.h"
#include "text/fonts/bitmap_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    char name[CX_MEMORY_NAME_MAX];
    if (!MakeMemoryName(name, sizeof name, data + 1, size - 1)) return 0;
    cxStream *s = OpenFileStream(name, CX_STREAM_READ, nullptr);
    if (!s) {
        ReleaseMemoryName(data + 1, size - 1);
        return 0;
    }
    if (mode & 1) {
        char entry[256];
        ReadBitmapFontContents(s, mode >> 1, entry, sizeof entry);
    } else {
        cxOsFont font{};
        font.scaleX = font.scaleY = 1;
        SetDeferFontBitmaps(mode & 2);
        if (ReadBitmapFontSizeFile(s, &font)) {
            BuildPendingFontBitmap(&font);
            char text[256];
            for (int i = 0; i < 256; ++i) text[i] = char(i);
            cxBitmap *canvas = AllocBitmap(64, 16, CX_ALLOC_CLEAR, 0);
            cxBitmap *mask = AllocMask(nullptr, 64, 16, 1, nullptr, 0);
            const cxClipRect clip{-3, 2, 50, 9};
            DrawBitmapFontText(&font, canvas, nullptr, -5, -2, text, sizeof text, 0, nullptr, 0x123456);
            DrawBitmapFontText(&font, canvas, nullptr, 3, 1, text, sizeof text, 0, &clip, 0x654321);
            DrawBitmapFontText(&font, mask, mask, 1, 1, text, sizeof text, 0, nullptr, -1);
            cxTextExtent e;
            BitmapFontTextExtent(&font, text, sizeof text, 0, &e);
            FreeMask(mask);
            FreeBitmap(canvas);
            FreeBitmapFontData(&font);
        }
        SetDeferFontBitmaps(0);
    }
    CloseFileStream(s);
    ReleaseMemoryName(data + 1, size - 1);
    return 0;
}
