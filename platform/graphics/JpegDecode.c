#include "platform/graphics/JpegDecode.h"

#include <limits.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <jerror.h>
#include <jpeglib.h>
#include <libexif/exif-data.h>

/* Progressive files keep every coefficient in memory; this bounds what one file may claim, and a
   small file may claim only in proportion to its size: a header that declares a huge picture with
   no data behind it is refused before the buffers are taken. Real photos need about 3 bytes of
   coefficients per pixel and never compress below a few hundredths of that. */
#define MAX_DECODER_MEMORY (((long)1 << 30) + ((long)1 << 28))
#define FREE_DECODER_MEMORY ((long)64 << 20)
#define DECODER_MEMORY_PER_BYTE 256
/* A progressive file with absurdly many scans would take minutes to decode. */
#define MAX_SCANS 1000

typedef struct {
    struct jpeg_error_mgr base;
    jmp_buf escape;
    int truncated;
    const char* refusal; /* our own reason to stop, or NULL for the library's message */
} ErrorManager;

typedef struct {
    struct jpeg_progress_mgr base;
} ProgressManager;

static void OnError(j_common_ptr cinfo)
{
    ErrorManager* err = (ErrorManager*)cinfo->err;
    longjmp(err->escape, 1);
}

static void OnMessage(j_common_ptr cinfo, int level)
{
    ErrorManager* err = (ErrorManager*)cinfo->err;
    /* Warnings about corrupt data are tolerated as the decoder's own default does; running out
       of data is remembered so that filler rows are not passed off as picture. */
    if (level < 0 && err->base.msg_code == JWRN_JPEG_EOF)
        err->truncated = 1;
}

static void OnProgress(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && ((j_decompress_ptr)cinfo)->input_scan_number > MAX_SCANS) {
        ErrorManager* err = (ErrorManager*)cinfo->err;
        err->refusal = "JPEG file has too many scans";
        longjmp(err->escape, 1);
    }
}

/* The Orientation tag of an APP1 Exif block, 1 when the block, the tag or its value is not sound: a
   damaged block leaves the photo as it is stored. */
static int ExifOrientation(const JOCTET* data, unsigned int size)
{
    static const JOCTET kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (size < sizeof kExifHeader || memcmp(data, kExifHeader, sizeof kExifHeader) != 0)
        return 1;
    ExifData* exif = exif_data_new();
    if (!exif)
        return 1;
    /* Read the block as it is: no tags added or values "fixed" by the library. */
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_load_data(exif, data, size);
    int orientation = 1;
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->data && entry->size >= 2)
        orientation = exif_get_short(entry->data, exif_data_get_byte_order(exif));
    exif_data_unref(exif);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

static int FileOrientation(j_decompress_ptr cinfo)
{
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker; marker = marker->next)
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 && memcmp(marker->data, "Exif", 4) == 0)
            return ExifOrientation(marker->data, marker->data_length);
    return 1;
}

static void ConvertCmyk(const JSAMPLE* in, unsigned int* out, JDIMENSION width, int inverted)
{
    for (JDIMENSION x = 0; x < width; ++x, in += 4) {
        unsigned c = in[0], m = in[1], y = in[2], k = in[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = 0xff000000u | ((c * k / 255) << 16) | ((m * k / 255) << 8) | (y * k / 255);
    }
}

int tovari_jpeg_decode(const unsigned char* data, size_t size, const TovariJpegSink* sink, char* message,
                       size_t message_size)
{
    struct jpeg_decompress_struct cinfo;
    ErrorManager err;
    ProgressManager progress;
    /* volatile: changed after setjmp and read after a longjmp back to it */
    JSAMPLE* volatile cmyk = NULL;
    unsigned int* volatile pixels = NULL;
    volatile int result = TOVARI_JPEG_DONE;

    if (message_size > 0)
        message[0] = '\0';
    if (size == 0 || size > (size_t)ULONG_MAX) {
        snprintf(message, message_size, "%s", size == 0 ? "Empty JPEG data" : "JPEG data too large");
        return TOVARI_JPEG_ERROR;
    }

    memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = OnError;
    err.base.emit_message = OnMessage;
    err.truncated = 0;
    err.refusal = NULL;
    if (setjmp(err.escape)) {
        char text[JMSG_LENGTH_MAX];
        if (err.refusal)
            snprintf(text, sizeof text, "%s", err.refusal);
        else
            err.base.format_message((j_common_ptr)&cinfo, text);
        snprintf(message, message_size, "%s", text);
        jpeg_destroy_decompress(&cinfo);
        free(cmyk);
        free(pixels);
        return TOVARI_JPEG_ERROR;
    }

    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = size >= (size_t)(MAX_DECODER_MEMORY - FREE_DECODER_MEMORY) / DECODER_MEMORY_PER_BYTE
                                       ? MAX_DECODER_MEMORY
                                       : FREE_DECODER_MEMORY + (long)size * DECODER_MEMORY_PER_BYTE;
    progress.base.progress_monitor = OnProgress;
    cinfo.progress = &progress.base;
    jpeg_mem_src(&cinfo, data, (unsigned long)size);
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&cinfo, TRUE);
    if (err.truncated) {
        snprintf(message, message_size, "%s", "JPEG data ends inside its header");
        jpeg_destroy_decompress(&cinfo);
        return TOVARI_JPEG_ERROR;
    }

    TovariJpegInfo info;
    info.width = (int)cinfo.image_width;
    info.height = (int)cinfo.image_height;
    info.components = cinfo.num_components;
    info.progressive = jpeg_has_multiple_scans(&cinfo) ? 1 : 0;
    info.inverted = cinfo.saw_Adobe_marker ? 1 : 0;
    info.orientation = FileOrientation(&cinfo);

    int isCmyk = 0;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        cinfo.out_color_space = JCS_EXT_XRGB;
#else
        cinfo.out_color_space = JCS_EXT_BGRX;
#endif
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo.out_color_space = JCS_CMYK;
        isCmyk = 1;
        break;
    default:
        snprintf(message, message_size, "%s", "Unsupported JPEG colour space");
        jpeg_destroy_decompress(&cinfo);
        return TOVARI_JPEG_ERROR;
    }

    if (sink->begin(sink->context, &info) != 0) {
        jpeg_destroy_decompress(&cinfo);
        return TOVARI_JPEG_STOPPED;
    }

    jpeg_start_decompress(&cinfo);
    pixels = (unsigned int*)malloc((size_t)cinfo.output_width * sizeof(unsigned int));
    if (isCmyk)
        cmyk = (JSAMPLE*)malloc((size_t)cinfo.output_width * 4);
    if (!pixels || (isCmyk && !cmyk)) {
        snprintf(message, message_size, "%s", "Out of memory decoding JPEG");
        jpeg_destroy_decompress(&cinfo);
        free(cmyk);
        free(pixels);
        return TOVARI_JPEG_ERROR;
    }

    for (;;) {
        int want = sink->next_row(sink->context);
        if (want < (int)cinfo.output_scanline || want >= (int)cinfo.output_height)
            break;
        if (want > (int)cinfo.output_scanline)
            jpeg_skip_scanlines(&cinfo, (JDIMENSION)want - cinfo.output_scanline);
        /* In a single-scan file, rows after the end of the data are filler, not picture. */
        if (err.truncated && !info.progressive)
            break;
        JSAMPROW row = isCmyk ? cmyk : (JSAMPROW)pixels;
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (err.truncated && !info.progressive)
            break;
        if (isCmyk)
            ConvertCmyk(cmyk, pixels, cinfo.output_width, info.inverted);
        if (sink->row(sink->context, want, pixels) != 0) {
            result = TOVARI_JPEG_STOPPED;
            break;
        }
    }

    if (err.truncated)
        result = TOVARI_JPEG_TRUNCATED;
    /* Finishing would read the rest of the data only to throw it away. */
    jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    free(cmyk);
    free(pixels);
    return result;
}
