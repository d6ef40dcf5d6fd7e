/* velmora.h - the JPEG conversion library (libvelmora.so).
 *
 * ConvertBMPtoJPG turns a Windows bitmap file into a baseline JPEG file;
 * ConvertPixelsToJPG writes the same file from pixels already in the caller's
 * memory, so that a picture held in memory needs no bitmap on disk first;
 * ConvertRowsToJPG writes it from rows the caller makes as they are needed,
 * so that a picture never held whole needs neither, and can carry the
 * caller's marker segments (Exif, ICC profile).
 * The bitmap is read a strip of rows at a time and the strips are compressed
 * with libjpeg-turbo on every core the process may run on; the file is
 * written as the strips finish, so memory stays at a few strips per core
 * whatever the image's size.
 *
 * What is read
 *   A file that starts with the signature "BM" and has a 12-byte (OS/2 1.x),
 *   40-, 64-byte (OS/2 2.x), 108- or 124-byte (V4, V5; the colour space and
 *   alpha mask are ignored) info header and one plane, with rows stored
 *   bottom-up (positive height) or top-down (negative height):
 *   - 1-, 4- and 8-bit palettes (as many entries as the header says, or 2, 16
 *     and 256 when it says 0; 3-byte entries with the 12-byte header),
 *     uncompressed or run-length coded (RLE8, RLE4). Pixels that the codes
 *     skip (a jump, the end of a row or of the picture) take the palette's
 *     first colour; pixels past a row's end are dropped;
 *   - 16- and 32-bit pixels: with bit fields (the masks after a 40- or 64-byte
 *     header, or in a V4/V5 one), any masks whose bits are contiguous, each
 *     channel scaled to 8 bits by repeating its high bits, so that a full
 *     channel is 255 (16-bit 5-6-5 white stays white); without, 5-5-5 and
 *     8-8-8 (the fourth byte is ignored);
 *   - 24-bit pixels.
 *   Anything else is refused with a status: JPEG/PNG and other compression,
 *   bit fields at other depths or with masks whose bits are not contiguous,
 *   other depths, palettes of more than 256 entries, truncated files
 *   (uncompressed rows that the file cannot hold, a run-length stream that
 *   ends before its picture does), palette indexes beyond the palette, and
 *   other formats such as PPM.
 *
 * Size limits
 *   Width and height are at most VELMORA_MAX_DIMENSION, the JPEG format's own
 *   limit in libjpeg; there is no limit on their product. The header's size
 *   claims are checked against the file's length before anything is written,
 *   so a lying header costs neither memory nor output. A run-length stream
 *   may describe a large picture in a few bytes; it is read through once and
 *   checked before anything is written, noting where each row starts (16
 *   bytes a row), and its strips are then read from there like any others.
 *
 * What is written
 *   A baseline JFIF file, 4:4:4 (no chroma subsampling), accurate integer DCT
 *   and the standard Huffman tables at every quality, with a restart marker
 *   after every row of 8x8 blocks (this is what lets the cores share the
 *   work; every baseline decoder reads it).
 *
 * Threads
 *   As many as sched_getaffinity allows. The environment variable
 *   VELMORA_THREADS, set to a positive number, forces that many instead
 *   (VELMORA_THREADS=1 encodes on the calling thread alone), up to four for
 *   each core the process may run on and never more than 256; the file is
 *   the same byte for byte with any number of threads.
 *
 * Guarantees
 *   - Never reads or writes outside its buffers, whatever the source holds.
 *   - Thread-safe: calls share no state; concurrent calls may convert
 *     different files (two calls writing the same destination each leave a
 *     complete file, the later rename wins).
 *   - No partial destination: the JPEG is written to a file without a name
 *     in the destination's folder (where the file system has none, a
 *     uniquely named temporary file, ".velmora-" and 16 random hexadecimal
 *     digits, so any destination name the system allows can be written),
 *     flushed to disk (fsync), named so and renamed over the destination. On
 *     any failure the destination is untouched (an existing file keeps its
 *     content) and the temporary file is removed; a process killed while
 *     writing leaves none where the file system has files without names.
 *   - ConvertBMPtoJPG never writes over its own source: a destination that
 *     is the source file under any name (the same path, ./, a symbolic or a
 *     hard link) is refused with VELMORA_E_DESTINATION (errno EEXIST) before
 *     anything is written.
 *   - Only regular files are replaced. A destination that exists and is not
 *     a regular file once symbolic links are followed (a directory, device,
 *     FIFO or socket) is refused with VELMORA_E_DESTINATION and left as it
 *     is; it is never opened, so a FIFO cannot block the call. A symbolic
 *     link is written through: the temporary file goes into the folder of
 *     the file at the end of its chain, which the rename replaces; the link
 *     stays. A link whose chain ends at a name that does not exist is
 *     refused like a special file, as GNU cp refuses to write through it.
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

/* The library's version, "major.minor.patch". The build refuses to configure
 * when it differs from the project's version, so it is the version of the
 * package this header came with. The major number is the one in the shared
 * library's name (libvelmora.so.1). */
#define VELMORA_VERSION "1.1.0"

/* Largest accepted width or height, in pixels. */
#define VELMORA_MAX_DIMENSION 65500

/* Largest number of bytes in one marker segment given to ConvertRowsToJPG:
 * its two-byte length field counts itself too. */
#define VELMORA_MAX_MARKER_BYTES 65533

/* Status codes returned by ConvertBMPtoJPG, ConvertPixelsToJPG and
 * ConvertRowsToJPG. */
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
    /* The header claims a width or height above VELMORA_MAX_DIMENSION. */
    VELMORA_E_TOO_LARGE = -4,
    /* Memory for a strip's pixels or compressed data could not be had. */
    VELMORA_E_OUT_OF_MEMORY = -5,
    /* libjpeg failed to compress the pixels. */
    VELMORA_E_COMPRESSION = -6,
    /* The destination cannot be written: its folder is missing or read-only,
     * the disk is full, the final rename failed, or it exists and is not a
     * regular file, or it is the source file (see Guarantees; errno is then
     * EISDIR for a directory, ENOENT for a link to nothing and EEXIST for a
     * device, FIFO, socket or the source). */
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

/* Writes the picture in memory at pixels as the JPEG file destinationPath:
 * the file ConvertBMPtoJPG writes for a bitmap of the same pixels, byte for
 * byte, with the same guarantees for the destination.
 *
 * pixels           The top row's first byte. Rows follow top to bottom,
 *                  bytesPerLine bytes apart; only read, and only during the
 *                  call (from several threads).
 * width, height    1 .. VELMORA_MAX_DIMENSION (a larger side gives
 *                  VELMORA_E_TOO_LARGE).
 * bytesPerLine     At least width * bytesPerPixel.
 * bytesPerPixel    3: blue, green, red; 4: blue, green, red, ignored (the
 *                  little-endian 0xXXRRGGBB words of a 32-bit bitmap's rows).
 * destinationPath  NUL-terminated path of the JPEG to create or replace.
 * quality          JPEG quality 1..100.
 *
 * Returns VELMORA_OK, VELMORA_E_ARGUMENT (a null pointer, an empty path or a
 * value outside the ranges above), VELMORA_E_TOO_LARGE,
 * VELMORA_E_OUT_OF_MEMORY, VELMORA_E_COMPRESSION or VELMORA_E_DESTINATION. */
VELMORA_API int16_t ConvertPixelsToJPG(const void* pixels, int32_t width, int32_t height,
                                       int64_t bytesPerLine, int32_t bytesPerPixel,
                                       const char* destinationPath, int32_t quality);

/* Fills rows firstRow .. firstRow + rowCount - 1 of the picture (the top row
 * is row 0) for ConvertRowsToJPG: row firstRow + i starts at
 * rows + i * bytesPerLine, in the layout that bytesPerPixel gives. rows is
 * aligned as malloc aligns, bytesPerLine is width * bytesPerPixel, and the
 * memory is the library's, valid only during the call.
 *
 * It is called from several threads at once, each for a different strip of
 * rows, in no particular order; every row is asked for once. It returns 0 to
 * go on, or a status that stops the conversion (see ConvertRowsToJPG). */
typedef int32_t (*VelmoraFillRows)(void* context, int32_t firstRow, int32_t rowCount,
                                   unsigned char* rows, int64_t bytesPerLine);

/* A marker segment for ConvertRowsToJPG to write. */
typedef struct VelmoraMarker {
    /* APP0 .. APP15: 0xE0 .. 0xEF. */
    int32_t code;
    /* The segment's bytes after its length field (for Exif: "Exif\0\0" and
     * the TIFF data); only read, and only during the call. May be null when
     * length is 0. */
    const unsigned char* data;
    /* 0 .. VELMORA_MAX_MARKER_BYTES. */
    int32_t length;
} VelmoraMarker;

/* Writes the picture whose rows fill makes as the JPEG file destinationPath:
 * with no markers, the file ConvertPixelsToJPG writes for the same pixels,
 * byte for byte, with the same guarantees for the destination. The rows are
 * asked for a strip at a time by the threads that compress them, so the
 * picture is never held whole: memory stays at a few strips per core.
 *
 * fill             Makes the rows (see VelmoraFillRows); context is passed to
 *                  it as it is. A value other than 0 stops the conversion:
 *                  no further strip is asked for, the destination is left as
 *                  it was, and the call returns that value when it is from
 *                  -32768 to -1 (a caller's own status: the library's own are
 *                  -1 to -7, so a value below -7 tells the caller's failure
 *                  apart), or VELMORA_E_SOURCE_UNREADABLE for any other value.
 * width, height    1 .. VELMORA_MAX_DIMENSION (a larger side gives
 *                  VELMORA_E_TOO_LARGE).
 * bytesPerPixel    3 or 4, as for ConvertPixelsToJPG.
 * markers          markerCount segments written in this order right after
 *                  the JFIF header, before the tables; null when markerCount
 *                  is 0. A profile longer than one segment takes several (an
 *                  ICC profile's APP2 chunks, say), one entry each.
 * destinationPath  NUL-terminated path of the JPEG to create or replace.
 * quality          JPEG quality 1..100.
 *
 * Returns VELMORA_OK, VELMORA_E_ARGUMENT (a null fill or path, an empty path,
 * a value outside the ranges above, a negative markerCount, null markers with
 * a positive count, a marker that is not APPn, longer than
 * VELMORA_MAX_MARKER_BYTES or without its bytes; nothing is created),
 * VELMORA_E_TOO_LARGE, a status from fill, VELMORA_E_OUT_OF_MEMORY,
 * VELMORA_E_COMPRESSION or VELMORA_E_DESTINATION. With VELMORA_E_DESTINATION,
 * errno holds the system's error of the failed step (ENOSPC: the disk is
 * full). */
VELMORA_API int16_t ConvertRowsToJPG(VelmoraFillRows fill, void* context, int32_t width,
                                     int32_t height, int32_t bytesPerPixel,
                                     const VelmoraMarker* markers, int32_t markerCount,
                                     const char* destinationPath, int32_t quality);

/* ------------------------------------------------------------------------
 * The enlargement itself, from the caller's memory into the caller's memory.
 *
 * Every output pixel is blended from up to four source pixels, first down
 * each column and then across, with the intermediate result rounded to whole
 * values (ties to even); output pixel (x, y) samples the source at
 * (x / ratio, y / ratio), and positions past the source's last column or row
 * read white (255). A W x H picture enlarged by ratio gives
 * floor(ratio * W - 1) x floor(ratio * H - 1) pixels (the product in double
 * precision, then single precision, then cut toward zero). The channels are
 * enlarged each on its own by the same rule, the alpha channel of RGBA and
 * BGRA too; the result is the same byte for byte on every machine, with every
 * instruction set and any number of threads, and it is exactly what the
 * velmora program and velmora-enlarge write.
 * ------------------------------------------------------------------------ */

/* The smallest and the largest ratio taken; any real ratio between them. */
#define VELMORA_MIN_RATIO 1.1
#define VELMORA_MAX_RATIO 10.0

/* Pixel layouts: the bytes of one pixel in memory, in this order. The output
 * has the layout of the input. */
enum {
    VELMORA_LAYOUT_RGB = 1,  /* red, green, blue */
    VELMORA_LAYOUT_BGR = 2,  /* blue, green, red */
    VELMORA_LAYOUT_RGBA = 3, /* red, green, blue, alpha */
    VELMORA_LAYOUT_BGRA = 4, /* blue, green, red, alpha */
    VELMORA_LAYOUT_GRAY = 5  /* one 8-bit channel */
};

/* The enlarged size of a width x height picture (each 1 .. 2^31 - 1) at
 * ratio, into *resultWidth and *resultHeight. Returns VELMORA_OK,
 * VELMORA_E_ARGUMENT (a null pointer, a side below 1, a ratio outside
 * VELMORA_MIN_RATIO .. VELMORA_MAX_RATIO or not a number) or
 * VELMORA_E_TOO_LARGE (a side of the result beyond 2^31 - 1, or more bytes
 * than the address space holds). Nothing is written on failure. */
VELMORA_API int32_t VelmoraEnlargedSize(int32_t width, int32_t height, double ratio,
                                        int32_t* resultWidth, int32_t* resultHeight);

/* Enlarges the picture at source (width x height pixels of the layout, rows
 * sourceStride bytes apart, top row first) by ratio into destination (the
 * whole result of VelmoraEnlargedSize, rows destinationStride bytes apart).
 * threads: how many threads to use, 0 for every core the process may run on
 * (or VELMORA_THREADS when set). At most four threads for each core the
 * process may run on (its affinity mask), and never more than 256, are used:
 * a larger count (up to INT32_MAX) is taken as that maximum, with the same
 * result. Only source is read and only the result's
 * pixels in destination are written (not the bytes between rows).
 *
 * Returns VELMORA_OK, VELMORA_E_ARGUMENT (a null pointer, a side below 1, an
 * unknown layout, a stride below a row's bytes, a ratio out of range, a
 * negative thread count), VELMORA_E_TOO_LARGE (see VelmoraEnlargedSize, or a
 * stride whose rows go beyond the address space) or VELMORA_E_OUT_OF_MEMORY
 * (its working memory, about 4 bytes a source pixel and a few rows of the
 * result per thread, could not be had). */
VELMORA_API int32_t VelmoraEnlarge(const void* source, int32_t width, int32_t height,
                                   int64_t sourceStride, int32_t layout, double ratio,
                                   void* destination, int64_t destinationStride, int32_t threads);

/* As VelmoraEnlarge, for the rectangle of the result from column left and row
 * top, rectWidth x rectHeight pixels (each at least 1, the rectangle inside
 * the result), written from destination on: pixel for pixel what the whole
 * result holds there, so a caller can enlarge in tiles or strips. */
VELMORA_API int32_t VelmoraEnlargeRect(const void* source, int32_t width, int32_t height,
                                       int64_t sourceStride, int32_t layout, double ratio,
                                       int32_t left, int32_t top, int32_t rectWidth,
                                       int32_t rectHeight, void* destination,
                                       int64_t destinationStride, int32_t threads);

/* What a status code of any entry means, in English: a static string
 * ("VELMORA_OK: done", ...); an unknown code gives "unknown status". */
VELMORA_API const char* VelmoraStatusText(int32_t status);

/* The version of the library that is loaded, VELMORA_VERSION as it was built;
 * a static string. A caller compiled against another header sees here which
 * library it actually got. */
VELMORA_API const char* VelmoraVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_H */
