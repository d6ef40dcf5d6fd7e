// opencv-enlarge R INPUT OUTPUT: reads an image, resizes it bilinearly to the size
// velmora-enlarge gives for the ratio R, and writes it; for timing comparisons only.
// A ".jpg" output is written with TurboJPEG at quality 100, 4:4:4 and accurate
// DCT, the settings of velmora's JPEG (OpenCV's own writer subsamples chroma).
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <turbojpeg.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool writeJpeg(const char* path, const cv::Mat& bgr) {
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    bool ok = tjCompress2(handle, bgr.data, bgr.cols, static_cast<int>(bgr.step), bgr.rows,
                          TJPF_BGR, &jpeg, &size, TJSAMP_444, 100, TJFLAG_ACCURATEDCT) == 0;
    if (ok) {
        FILE* f = std::fopen(path, "wb");
        ok = f && std::fwrite(jpeg, 1, size, f) == size;
        ok = f && std::fclose(f) == 0 && ok;
    }
    tjFree(jpeg);
    tjDestroy(handle);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: opencv-enlarge R INPUT OUTPUT\n");
        return 2;
    }
    cv::setNumThreads(2);
    const double r = std::atof(argv[1]);
    const cv::Mat source = cv::imread(argv[2], cv::IMREAD_COLOR);
    if (source.empty())
        return 1;
    const int w = static_cast<int>(static_cast<float>(r * source.cols - 1));
    const int h = static_cast<int>(static_cast<float>(r * source.rows - 1));
    cv::Mat result;
    cv::resize(source, result, cv::Size(w, h), 0, 0, cv::INTER_LINEAR_EXACT);
    const std::size_t length = std::strlen(argv[3]);
    if (length > 4 && std::strcmp(argv[3] + length - 4, ".jpg") == 0)
        return writeJpeg(argv[3], result) ? 0 : 1;
    return cv::imwrite(argv[3], result) ? 0 : 1;
}
