// PNG and JPEG readers; SKYLOOM_FUZZ_JPEG picks the decoder. Decoding needs no GL context: the
// texture object itself is created without one and only its pixel buffer is used.
#include "FuzzFile.h"
#include "Texture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzFile file;
    Texture texture(GL_TEXTURE_2D);
#ifdef SKYLOOM_FUZZ_JPEG
    const bool ok = texture.readJpeg(file.write(data, size));
#else
    const bool ok = texture.readPng(file.write(data, size));
#endif
    if (ok) {
        if (texture.width <= 0 || texture.height <= 0 || !texture.pixels) std::abort();
        // Touch the first and last byte so a short buffer shows up under AddressSanitizer.
        const std::size_t bytes = static_cast<std::size_t>(texture.width) * texture.height *
                                  (texture.format == GL_RGBA ? 4 : texture.format == GL_RGB ? 3 : 1);
        volatile unsigned char sink = texture.pixels[0];
        sink = texture.pixels[bytes - 1];
        (void)sink;
    }
    return 0;
}
