/* A plug-in that lies about what it returns, for the host's checks. It claims PNG files and answers
 * GetPicture with a header that promises more than it hands over (CRAFTED_LYING_HEADER) or with a pixel
 * block one row short (CRAFTED_SHORT_BLOCK). */
#include "tovari_spi.h"

#include <string.h>

static const char* const kInfo[] = {"00IN", "crafted", "*.png", "PNG (crafted)"};

TOVARI_SPI_EXPORT int GetPluginInfo(int n, char* buffer, int length)
{
    if (n < 0 || n > 3 || length <= 0)
        return 0;
    strncpy(buffer, kInfo[n], (size_t)length);
    buffer[length - 1] = '\0';
    return (int)strlen(buffer);
}

TOVARI_SPI_EXPORT int IsSupported(const char* name, void* header)
{
    return 1;
}

TOVARI_SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info)
{
    memset(info, 0, sizeof *info);
    return 0;
}

TOVARI_SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                                 SpiProgressCallback progress, intptr_t user)
{
    const int width = 64, height = 64;
    const size_t rowBytes = (size_t)width * 3;
    *bitmapInfo = LocalAlloc(LMEM_ZEROINIT, sizeof(SpiBitmapInfoHeader));
    SpiBitmapInfoHeader* h = (SpiBitmapInfoHeader*)LocalLock(*bitmapInfo);
    h->biSize = sizeof *h;
    h->biWidth = width;
    h->biHeight = height;
    h->biPlanes = 1;
    h->biBitCount = 24;
#ifdef CRAFTED_LYING_HEADER
    /* A 60000 x 60000 picture in a block of 64 rows: reading it would run far past the block. */
    h->biWidth = 60000;
    h->biHeight = 60000;
#endif
    LocalUnlock(*bitmapInfo);
#ifdef CRAFTED_SHORT_BLOCK
    *bits = LocalAlloc(LMEM_ZEROINIT, rowBytes * (height - 1));
#else
    *bits = LocalAlloc(LMEM_ZEROINIT, rowBytes * height);
#endif
    return 0;
}
