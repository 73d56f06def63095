/*
 * The image plug-in interface of tovari on Linux x86-64: what a plug-in (a shared object named
 * "*.spi") exports, and the local-memory handles it returns. Plain C; include it from C or C++.
 *
 * A plug-in exports these functions with C linkage (the calling convention is the platform's own):
 *   GetPluginInfo, IsSupported, GetPictureInfo, GetPicture, GetPreview (optional),
 *   and, looked up only: GetArchiveInfo, GetFileInfo, GetFile, ConfigurationDlg.
 * Memory that GetPicture and GetPreview hand back (and PictureInfo.hInfo) must come from
 * LocalAlloc of libtovari_localmem.so, which the host and every plug-in link against; from the
 * moment of return the host owns it and frees it with LocalFree.
 */
#ifndef TOVARI_SPI_H
#define TOVARI_SPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(TOVARI_LOCALMEM_BUILD)
#define TOVARI_LOCALMEM_API __attribute__((visibility("default")))
#else
#define TOVARI_LOCALMEM_API
#endif
#define TOVARI_SPI_EXPORT __attribute__((visibility("default")))

/* An opaque local-memory handle; 0 is none. */
typedef void* HLOCAL;

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u

/* A movable-in-name-only block: the handle stays valid until LocalFree. Unknown handles are refused,
 * not dereferenced: LocalLock gives NULL, LocalSize 0, LocalFree returns the handle unchanged. */
TOVARI_LOCALMEM_API HLOCAL LocalAlloc(unsigned int flags, size_t bytes);
TOVARI_LOCALMEM_API void* LocalLock(HLOCAL handle);
/* Non-zero while the block is still locked after this call. */
TOVARI_LOCALMEM_API int LocalUnlock(HLOCAL handle);
/* NULL on success. */
TOVARI_LOCALMEM_API HLOCAL LocalFree(HLOCAL handle);
TOVARI_LOCALMEM_API size_t LocalSize(HLOCAL handle);
/* For checks of what plug-ins take: the live blocks now, their bytes, and the most bytes live at once
 * since the previous call (which starts the next such span). Any pointer may be NULL. */
TOVARI_LOCALMEM_API void LocalStatistics(size_t* liveBlocks, size_t* liveBytes, size_t* peakBytes);

/* The picture-information record in its 64-bit form: hInfo at byte 24, 32 bytes in all. */
typedef struct SpiPictureInfo {
    int32_t left, top;
    int32_t width;
    int32_t height;
    uint16_t x_density;
    uint16_t y_density;
    int16_t colorDepth;
    char reserved[2];
    HLOCAL hInfo;
} SpiPictureInfo;

/* The header at the start of the bitmap-information block; a colour table of RGBQUADs follows it. */
typedef struct SpiBitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SpiBitmapInfoHeader;

/* Sources: flag 0, buf is a file name and len the offset of the picture in it;
 * flag 1, buf is the picture in memory and len its byte count. */
#define SPI_SOURCE_FILE 0u
#define SPI_SOURCE_MEMORY 1u

/* Results. */
#define SPI_NO_FUNCTION (-1)
#define SPI_ALL_RIGHT 0
#define SPI_ABORT 1
#define SPI_NOT_SUPPORT 2
#define SPI_OUT_OF_ORDER 3
#define SPI_NO_MEMORY 4
#define SPI_MEMORY_ERROR 5
#define SPI_FILE_READ_ERROR 6
#define SPI_OTHER_ERROR 8

/* IsSupported is given at least this many of the file's first bytes. */
#define SPI_HEADER_BYTES 2048

/* Called during GetPicture / GetPreview; a non-zero answer asks the plug-in to stop (SPI_ABORT). */
typedef int (*SpiProgressCallback)(int done, int total, intptr_t userData);

typedef int (*SpiGetPluginInfo)(int infoNumber, char* buffer, int bufferLength);
typedef int (*SpiIsSupported)(const char* fileName, void* header);
typedef int (*SpiGetPictureInfo)(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info);
typedef int (*SpiGetPicture)(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                             SpiProgressCallback progress, intptr_t userData);

#ifdef __cplusplus
}
#endif

#endif
