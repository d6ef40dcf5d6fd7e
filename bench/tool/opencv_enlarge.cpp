// opencv-enlarge R INPUT OUTPUT: reads an image, resizes it bilinearly to the size
// velmora-enlarge gives for the ratio R, and writes it; for timing comparisons only.
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>

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
    return cv::imwrite(argv[3], result) ? 0 : 1;
}
