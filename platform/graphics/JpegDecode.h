/* The one place that runs libjpeg: its errors longjmp, so every call into it sits in a C function
   with no C++ object alive between setjmp and the library. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    TOVARI_JPEG_DONE = 0,      /* every wanted row was delivered */
    TOVARI_JPEG_STOPPED = 1,   /* a sink callback asked to stop */
    TOVARI_JPEG_TRUNCATED = 2, /* the data ended early; the rows that it held were delivered */
    TOVARI_JPEG_ERROR = 3      /* the decoder failed; message says why */
};

typedef struct TovariJpegInfo {
    int width;
    int height;
    int components;  /* components in the file: 1 grey, 3 colour, 4 CMYK or YCCK */
    int progressive; /* more than one scan: all data is read before the first row comes out */
    int inverted;    /* CMYK stored inverted, as Adobe writes it */
    int orientation; /* EXIF orientation 1 to 8 (how the stored rows are turned); 1 without a sound tag */
} TovariJpegInfo;

/* Callbacks must not throw or longjmp; they return 0 to go on and anything else to stop. */
typedef struct TovariJpegSink {
    void* context;
    /* after the header, before any pixel memory is set aside */
    int (*begin)(void* context, const TovariJpegInfo* info);
    /* the next source row wanted (rows only move forward), or a value >= height when done */
    int (*next_row)(void* context);
    /* row y as width native 32-bit 0xffRRGGBB pixels */
    int (*row)(void* context, int y, const unsigned int* pixels);
} TovariJpegSink;

/* Decodes data at full resolution with the decoder's default settings. */
int tovari_jpeg_decode(const unsigned char* data, size_t size, const TovariJpegSink* sink, char* message,
                       size_t message_size);

#ifdef __cplusplus
}
#endif
