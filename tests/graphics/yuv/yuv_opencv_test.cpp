// The frame conversion against OpenCV's I420 conversion, which uses the same
// limited-range coefficients with its own fixed-point rounding.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <vector>

#include "graphics/yuv/yuv_frame.h"

namespace {

TEST(YuvOpenCV, ConversionAgreesWithCvtColorWithinTwo) {
    const int w = 320, h = 240;
    std::vector<uint8_t> i420(size_t(w) * h * 3 / 2);
    std::mt19937 rng(11);
    for (auto &b : i420) b = uint8_t(16 + rng() % 220);
    cv::Mat src(h * 3 / 2, w, CV_8UC1, i420.data()), bgra;
    cv::cvtColor(src, bgra, cv::COLOR_YUV2BGRA_I420);
    std::vector<uint32_t> out(size_t(w) * h);
    const uint8_t *Y = i420.data(), *U = Y + w * h, *V = U + (w / 2) * (h / 2);
    const cxYuvFrameJob job{{Y, U, V}, {w, w / 2, w / 2}, out.data(), w, h, w, h, w, 10, 4};
    ASSERT_EQ(RunYuvFrameJob(&job), 0);
    int worst = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t *p = bgra.ptr<uint8_t>(y) + 4 * x;
            const uint32_t c = out[size_t(y) * w + x];
            worst = std::max({worst, std::abs(int(c & 0xFF) - p[0]), std::abs(int((c >> 8) & 0xFF) - p[1]),
                              std::abs(int((c >> 16) & 0xFF) - p[2])});
        }
    EXPECT_LE(worst, 2);
}

} // namespace
