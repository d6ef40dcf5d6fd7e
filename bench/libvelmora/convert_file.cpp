// velmora-convert SOURCE.bmp DEST.jpg: one ConvertBMPtoJPG call at quality 100,
// as the program makes it, for timing the whole call from outside (see
// compare_cjpeg.sh). Prints the status and the process's peak resident memory.
#include "libvelmora/velmora.h"

#include <sys/resource.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora-convert SOURCE.bmp DEST.jpg\n");
        return 2;
    }
    std::string destination = argv[2];
    const int status = ConvertBMPtoJPG(argv[1], destination.data(), -1, 100, -1);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("status %d peak_rss_kb %ld\n", status, usage.ru_maxrss);
    return status == VELMORA_OK ? 0 : 1;
}
