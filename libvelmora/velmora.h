/* velmora.h - the JPEG conversion library (libvelmora.so).
 *
 * One C entry point turns a Windows bitmap file into a baseline JPEG file.
 * The bitmap is read with libjpeg-turbo's own loader and compressed with
 * TurboJPEG; this library adds argument checks, size limits and a write that
 * never leaves a partial destination behind.
 *
 * What is read
 *   A file that starts with the signature "BM" and that libjpeg-turbo's BMP
 *   loader accepts: a 12-, 40- or 64-byte info header, 8-bit palette, 24-bit
 *   or 32-bit pixels (the fourth byte is ignored), no compression, rows stored
 *   bottom-up (positive height). Anything else is refused with a status:
 *   top-down bitmaps (negative height), RLE/bitfield/JPEG/PNG compression,
 *   other depths, V4/V5 info headers, truncated files, and other formats such
 *   as PPM even though the loader itself could read them.
 *
 * Size limits
 *   Width and height are at most VELMORA_MAX_DIMENSION (the JPEG format's own
 *   limit in libjpeg) and width * height is at most VELMORA_MAX_PIXELS. The
 *   header's size claims are checked against the file's length before any
 *   pixel memory is allocated, so a lying header costs no memory.
 *
 * What is written
 *   A baseline JFIF file, 4:4:4 (no chroma subsampling), accurate integer DCT
 *   at every quality.
 *
 * Guarantees
 *   - Never reads or writes outside its buffers, whatever the source holds.
 *   - Thread-safe: calls share no state; concurrent calls may convert
 *     different files (two calls writing the same destination each leave a
 *     complete file, the later rename wins).
 *   - No partial destination: the JPEG is written to a uniquely named
 *     temporary file in the destination's folder, flushed to disk (fsync) and
 *     renamed over the destination. On any failure the destination is
 *     untouched (an existing file keeps its content) and the temporary file is
 *     removed.
 *   - A new destination gets the permissions of a newly created file
 *     (0666 & ~umask); a replaced destination keeps its permission bits.
 *   - The source file is closed when the call returns; it may be deleted.
 */
#ifndef VELMORA_H
#define VELMORA_H

#include <stdint.h>

#if defined(_WIN32)
#ifdef VELMORA_BUILDING
#define VELMORA_API __declspec(dllexport)
#else
#define VELMORA_API __declspec(dllimport)
#endif
#else
#define VELMORA_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Largest accepted width or height, in pixels. */
#define VELMORA_MAX_DIMENSION 65500
/* Largest accepted width * height (2^28 pixels, a 768 MiB RGB buffer). */
#define VELMORA_MAX_PIXELS 268435456LL

/* Status codes returned by ConvertBMPtoJPG. */
enum {
    /* The destination holds the complete JPEG file. */
    VELMORA_OK = 0,
    /* A null or empty path, a quality outside 1..100, or a reserved argument
     * other than -1. Nothing was opened. */
    VELMORA_E_ARGUMENT = -1,
    /* The source cannot be opened or read (missing, no permission, not a
     * regular file). */
    VELMORA_E_SOURCE_UNREADABLE = -2,
    /* The source is not a bitmap this library reads: wrong signature, a
     * variant listed as refused above, inconsistent or truncated data. */
    VELMORA_E_NOT_A_BITMAP = -3,
    /* The header claims a width, height or pixel count above the limits. */
    VELMORA_E_TOO_LARGE = -4,
    /* Memory for the pixels or the compressed data could not be had. */
    VELMORA_E_OUT_OF_MEMORY = -5,
    /* TurboJPEG failed to compress the pixels. */
    VELMORA_E_COMPRESSION = -6,
    /* The destination cannot be written: its folder is missing or read-only,
     * the disk is full, or the final rename failed. */
    VELMORA_E_DESTINATION = -7
};

/* Converts the bitmap file sourcePath into the JPEG file destinationPath.
 *
 * sourcePath       NUL-terminated path of the bitmap; not modified.
 * destinationPath  NUL-terminated path of the JPEG to create or replace. The
 *                  parameter is non-const only for the caller's convention;
 *                  the library never writes to the buffer.
 * arg3, arg5       Reserved; must be -1 (defaults). Any other value is refused
 *                  with VELMORA_E_ARGUMENT so that a later meaning cannot
 *                  change what an existing caller gets.
 * quality          JPEG quality 1..100 (100 = best); other values are refused
 *                  with VELMORA_E_ARGUMENT, not clamped.
 *
 * Returns VELMORA_OK or one of the negative VELMORA_E_* codes above. */
VELMORA_API int16_t ConvertBMPtoJPG(const char* sourcePath, char* destinationPath, int32_t arg3,
                                    int32_t quality, int32_t arg5);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_H */
