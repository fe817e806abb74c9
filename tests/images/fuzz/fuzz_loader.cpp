// The loader front as the brush and BGPic commands reach it: the file
// (here a ":::memory" name over the input) is recognised by its signature
// and decoded, or only measured (its header probed first), with each
// transparency mode. The last byte picks the mode and the measuring.
#include <stdlib.h>

#include "images/formats/image_loader.h"
#include "images/formats/loaded_image.h"
#include "streams/memory_name.h"
#include "tests/images/fuzz/fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    SetImagePixelLimit(uint64_t{1} << 22);
    char name[CX_MEMORY_NAME_MAX];
    MakeMemoryName(name, sizeof name, data, size);
    const int mode = data[size - 1] % 3;
    const bool header = (data[size - 1] & 0x40) != 0;
    cxLoadedImage *image = nullptr;
    uint32_t *palette = nullptr;
    int32_t pen = 0;
    int w = 0, h = 0, alpha = 0, native = 0, format = 0;
    if (LoadImageInbuilt(name, "inbuilt", "", nullptr, -1, mode, header ? nullptr : &image, &palette, &pen, &w, &h,
                         &alpha, &native, &format) == 0 &&
        image) {
        // Touch every pixel: a short buffer shows up under ASan.
        const uint32_t *px = static_cast<const uint32_t *>(GetLoadedImagePixels(image));
        uint32_t sum = 0;
        for (size_t i = 0; px && i < size_t(w) * h; i++) sum += px[i];
        cxfuzz::Sink(sum);
    }
    if (image) FreeLoadedImage(image);
    free(palette);
    ReleaseMemoryName(data, size);
    return 0;
}
