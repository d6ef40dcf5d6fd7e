// Fuzzes ConvertBMPtoJPG with arbitrary source files.
//
// Each input is written to a private folder as in.bmp and converted to
// out.jpg. Beyond the sanitizers, every run checks the library's promises:
// a known status, no file other than the source and (on success) the JPEG in
// the folder, and on success a 4:4:4 JPEG whose header reads back.
//
// libjpeg-turbo is the uninstrumented system library, so coverage feedback
// stops at its API: the fuzzer steers by our own branches (header checks,
// strip reading, the join, the write) and by the seeds.
//
// Build and run (clang only):
//   CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja
//       -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF
//   cmake --build build-fuzz --target velmora_fuzz
//   mkdir -p /tmp/grow && build-fuzz/bin/velmora_fuzz -max_total_time=300
//       -rss_limit_mb=2048 -max_len=32768 /tmp/grow libvelmora/fuzz/corpus
// The seed corpus is written by make_corpus.py.

#include "libvelmora/velmora.h"

#include <turbojpeg.h>

#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// One private folder per fuzzing process, removed at exit. The name lives in
// a plain array: an exit handler must not touch a static std::string, which
// may already be destroyed when the handler runs.
char folderName[] = "/tmp/velmora-fuzz-XXXXXX";

std::string folder() {
    static const bool created = [] {
        if (!mkdtemp(folderName))
            __builtin_trap();
        std::atexit([] { rmdir(folderName); });
        return true;
    }();
    (void)created;
    return folderName;
}

std::vector<std::string> entries(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        }
        closedir(d);
    }
    return names;
}

std::vector<unsigned char> readAll(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        unsigned char buffer[65536];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.insert(bytes.end(), buffer, buffer + n);
        std::fclose(f);
    }
    return bytes;
}

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "velmora_fuzz: broken promise: %s\n", what);
        __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = folder();
    const std::string source = dir + "/in.bmp";
    std::string destination = dir + "/out.jpg";
    FILE* f = std::fopen(source.c_str(), "wb");
    check(f != nullptr, "cannot write the fuzz input file");
    check(size == 0 || std::fwrite(data, 1, size, f) == size, "short write of the input");
    std::fclose(f);

    // The quality follows the input so that compression sees more than one
    // setting; valid range only, argument checks are unit-tested.
    const int quality = 1 + int(size % 100);
    const int16_t rc = ConvertBMPtoJPG(source.c_str(), destination.data(), -1, quality, -1);
    check(rc <= VELMORA_OK && rc >= VELMORA_E_DESTINATION, "unknown status");
    check(rc != VELMORA_E_ARGUMENT && rc != VELMORA_E_SOURCE_UNREADABLE &&
              rc != VELMORA_E_DESTINATION,
          "status that valid arguments and files cannot cause");

    const std::vector<std::string> left = entries(dir);
    if (rc == VELMORA_OK) {
        check(left.size() == 2, "leftover or missing file after success");
        std::vector<unsigned char> jpeg = readAll(destination);
        tjhandle h = tjInitDecompress();
        int width = 0, height = 0, subsampling = -1, colourspace = -1;
        check(tjDecompressHeader3(h, jpeg.data(), jpeg.size(), &width, &height, &subsampling,
                                  &colourspace) == 0,
              "the written JPEG has no readable header");
        check(subsampling == TJSAMP_444, "the written JPEG is not 4:4:4");
        check(width > 0 && height > 0 && width <= VELMORA_MAX_DIMENSION &&
                  height <= VELMORA_MAX_DIMENSION,
              "the written JPEG has an impossible size");
        tjDestroy(h);
        unlink(destination.c_str());
    } else {
        check(left.size() == 1, "leftover file after a failure");
    }
    unlink(source.c_str());
    return 0;
}
