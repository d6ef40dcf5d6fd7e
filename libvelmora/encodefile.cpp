#include "encodefile.h"

#include "outputfile.h"

namespace velmora::jpeg {

namespace {

// The file's status, its errno passed on to the caller.
int withError(int status, const OutputFile& output, int* osError) {
    if (osError)
        *osError = status == VELMORA_OK ? 0 : output.error();
    return status;
}

} // namespace

int Encode_File(const char* destinationPath, const EncodeSettings& settings, StripSource& source,
                int* osError) {
    OutputFile output;
    if (!output.create(destinationPath))
        return withError(VELMORA_E_DESTINATION, output, osError);
    if (int rc = Encode(settings, source, output))
        return withError(rc, output, osError);
    return withError(output.commit() ? VELMORA_OK : VELMORA_E_DESTINATION, output, osError);
}

} // namespace velmora::jpeg
