// The blur against OpenCV's separable filter with the same kernel and
// replicated borders. The blur truncates after each pass, so the reference
// runs the two passes separately into floats and truncates after each.
#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "graphics/effects/convolve.h"
#include "tests/graphics/support/lock_buffer.h"

namespace {

cv::Mat BlurKernel(double radius, double sigma) {
    const int32_t w = KernelWidth1D(radius, sigma);
    std::vector<double> k(size_t(w), 0.0);
    const int32_t bias = 3 * w / 2;
    for (int32_t i = -bias; i <= bias; ++i)
        k[size_t((i + bias) / 3)] += std::exp(-(double(i) * i) / (18.0 * sigma * sigma)) / (sigma * std::sqrt(2 * M_PI));
    double sum = 0;
    for (double v : k) sum += v;
    cv::Mat m(w, 1, CV_64F);
    for (int i = 0; i < w; ++i) m.at<double>(i) = k[size_t(i)] / sum;
    return m;
}

cv::Mat Pass(const cv::Mat &src, const cv::Mat &kx, const cv::Mat &ky) {
    cv::Mat f;
    cv::sepFilter2D(src, f, CV_64F, kx, ky, cv::Point(-1, -1), 0, cv::BORDER_REPLICATE);
    cv::Mat out(f.size(), CV_MAKETYPE(CV_8U, f.channels()));
    const int n = f.cols * f.channels();
    for (int y = 0; y < f.rows; ++y)
        for (int x = 0; x < n; ++x)
            out.ptr<uint8_t>(y)[x] = uint8_t(std::clamp(std::trunc(f.ptr<double>(y)[x]), 0.0, 255.0));
    return out;
}

TEST(ConvolveOpenCV, BlurMatchesSepFilter2DWithinOne) {
    const struct {
        int w, h;
        double radius, sigma;
    } cases[] = {{64, 48, 0, 1.0}, {64, 48, 10, 3.0}, {31, 7, 4, 2.0}, {5, 40, 8, 5.0}, {100, 80, 2.5, 0.7}};
    for (auto c : cases) {
        cxtest::PixelBuffer b(10, c.w, c.h);
        b.Randomise(uint32_t(c.w * c.h));
        cv::Mat src(c.h, c.w, CV_8UC4, b.bytes.data(), size_t(b.rowLength) * 4);
        const cv::Mat k = BlurKernel(c.radius, c.sigma), one = cv::Mat::ones(1, 1, CV_64F);
        const cv::Mat want = Pass(Pass(src, k, one), one, k);
        cv::Mat alphaBefore = src.clone();
        cxConvolveJob job{b.bytes.data(), c.w, c.h, b.rowLength, 10, 4, nullptr, 0, c.radius, c.sigma,
                          CX_CONVOLVE_BLUR, 0};
        ConvolvePixels(&job);
        ASSERT_EQ(job.result, 0);
        int worst = 0;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                for (int ch = 0; ch < 3; ++ch) // byte 3 is the alpha byte, kept
                    worst = std::max(worst, std::abs(int(src.ptr<uint8_t>(y)[4 * x + ch]) -
                                                     int(want.ptr<uint8_t>(y)[4 * x + ch])));
        EXPECT_LE(worst, 1) << c.w << "x" << c.h << " r " << c.radius << " s " << c.sigma;
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) ASSERT_EQ(src.ptr<uint8_t>(y)[4 * x + 3], alphaBefore.ptr<uint8_t>(y)[4 * x + 3]);
    }
}

} // namespace
