// libjpeg's compressor for one strip. Everything between setjmp and the end of
// the compression is C style: plain structs, malloc/realloc for the output,
// no object with a destructor, because a libjpeg error longjmps back here.

#include "stripcompress.h"

#include "velmora.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
// After jpeglib.h, which it needs.
#include <jerror.h>

#if !defined(JCS_EXTENSIONS)
#error "libjpeg-turbo's jpeglib.h is needed (blue-first pixel layouts)"
#endif

namespace velmora::jpeg {

namespace {

// The first output buffer; it doubles when full and is kept for later strips.
constexpr std::size_t kFirstCapacity = std::size_t(1) << 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int messageCode;
};

void onError(j_common_ptr cinfo) {
    ErrorManager* e = reinterpret_cast<ErrorManager*>(cinfo->err);
    e->messageCode = cinfo->err->msg_code;
    std::longjmp(e->jump, 1);
}

// Warnings and traces are not shown: a library has no console of its own.
void onMessage(j_common_ptr) {}

struct Destination {
    jpeg_destination_mgr pub;
    CompressedBuffer* buffer;
};

// Grows the buffer to at least `wanted` bytes; false when memory is short.
bool grow(CompressedBuffer* b, std::size_t wanted) {
    if (b->capacity >= wanted)
        return true;
    void* bigger = std::realloc(b->data, wanted);
    if (bigger == nullptr)
        return false;
    b->data = static_cast<unsigned char*>(bigger);
    b->capacity = wanted;
    return true;
}

void initDestination(j_compress_ptr cinfo) {
    Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (!grow(d->buffer, kFirstCapacity))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->buffer->data;
    d->pub.free_in_buffer = d->buffer->capacity;
}

// Called when the buffer is full: libjpeg has filled all of it.
boolean emptyBuffer(j_compress_ptr cinfo) {
    Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
    const std::size_t used = d->buffer->capacity;
    if (!grow(d->buffer, used * 2))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    d->pub.next_output_byte = d->buffer->data + used;
    d->pub.free_in_buffer = d->buffer->capacity - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    Destination* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->buffer->size = d->buffer->capacity - d->pub.free_in_buffer;
}

void setParameters(j_compress_ptr cinfo, const StripJob* job) {
    cinfo->image_width = job->width;
    cinfo->image_height = job->rows;
    cinfo->input_components = job->bytesPerPixel;
    cinfo->in_color_space = job->bytesPerPixel == 4 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->optimize_coding = FALSE; // standard tables: every strip codes alike
    for (int c = 0; c < cinfo->num_components; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    // A restart marker after each MCU row resets the DC prediction and aligns
    // to a byte: strips of whole MCU rows can then be joined byte for byte.
    cinfo->restart_in_rows = 1;
}

} // namespace

int compressStrip(const StripJob* job) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    Destination destination;
    std::memset(&cinfo, 0, sizeof cinfo); // a jump during creation finds no stray pointers
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onError;
    errors.pub.output_message = onMessage;
    errors.messageCode = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return errors.messageCode == JERR_OUT_OF_MEMORY ? VELMORA_E_OUT_OF_MEMORY
                                                        : VELMORA_E_COMPRESSION;
    }
    jpeg_create_compress(&cinfo);
    destination.pub.init_destination = initDestination;
    destination.pub.empty_output_buffer = emptyBuffer;
    destination.pub.term_destination = termDestination;
    destination.buffer = job->output;
    cinfo.dest = &destination.pub;

    setParameters(&cinfo, job);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        jpeg_write_scanlines(&cinfo, job->rowPointers + cinfo.next_scanline,
                             cinfo.image_height - cinfo.next_scanline);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return VELMORA_OK;
}

} // namespace velmora::jpeg
