// The nearest scaler picks the same source pixels as OpenCV's nearest resize
// at integer ratios, up and down.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

#include "graphics/kernels/kernel_guard.h"

namespace {

template <class T>
void Compare(int type, uint32_t format, int sw, int sh, int dw, int dh) {
    cv::Mat src(sh, sw, type);
    std::mt19937 rng(uint32_t(sw * 131 + sh * 7 + dw));
    for (int y = 0; y < sh; ++y)
        for (int x = 0; x < sw; ++x) src.at<T>(y, x) = T(rng());
    cv::Mat ref;
    cv::resize(src, ref, cv::Size(dw, dh), 0, 0, cv::INTER_NEAREST);
    cv::Mat out(dh, dw, type, cv::Scalar(0));
    cxScaleJob j{};
    j.srcPixels = src.data;
    j.dstPixels = out.data;
    j.srcWidth = sw, j.srcHeight = sh, j.dstWidth = dw, j.dstHeight = dh;
    j.srcRowLength = int32_t(src.step / sizeof(T));
    j.dstRowLength = int32_t(out.step / sizeof(T));
    j.pixelFormat = format;
    j.bytesPerPixel = int32_t(sizeof(T));
    ASSERT_EQ(RunScaleJob(&j), 0);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            ASSERT_EQ(out.at<T>(y, x), ref.at<T>(y, x)) << sw << "x" << sh << " -> " << dw << "x" << dh << " at " << x
                                                      << "," << y;
}

TEST(ScalerVsOpenCV, NearestAgreesAtIntegerRatios) {
    const int sizes[][2] = {{1, 1}, {2, 3}, {7, 5}, {64, 48}, {97, 61}, {320, 240}};
    for (const auto &s : sizes)
        for (int k : {2, 3, 4, 5, 7}) {
            Compare<uint32_t>(CV_32SC1, 10, s[0], s[1], s[0] * k, s[1] * k);
            Compare<uint16_t>(CV_16UC1, 4, s[0], s[1], s[0] * k, s[1] * k);
            Compare<uint32_t>(CV_32SC1, 10, s[0] * k, s[1] * k, s[0], s[1]);
            Compare<uint16_t>(CV_16UC1, 4, s[0] * k, s[1] * k, s[0], s[1]);
        }
    // Different ratios on the two axes.
    Compare<uint32_t>(CV_32SC1, 10, 40, 30, 120, 15);
    Compare<uint32_t>(CV_32SC1, 10, 40, 30, 10, 90);
}

} // namespace
