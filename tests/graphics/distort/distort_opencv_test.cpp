// Perspective coefficients against OpenCV's getPerspectiveTransform: the
// engine's reverse mapping is the transform from the destination points to
// the source points.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

#include "graphics/distort/distort.h"

namespace {

TEST(DistortOpenCV, PerspectiveCoefficientsMatchGetPerspectiveTransform) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> jitter(-12.0, 12.0);
    for (int round = 0; round < 50; ++round) {
        const double W = 100, H = 80;
        const cv::Point2f src[4] = {{0, 0}, {float(W), 0}, {float(W), float(H)}, {0, float(H)}};
        cv::Point2f dst[4];
        double args[16];
        for (int i = 0; i < 4; ++i) {
            dst[i] = cv::Point2f(float(src[i].x + jitter(rng)), float(src[i].y + jitter(rng)));
            args[4 * i] = src[i].x, args[4 * i + 1] = src[i].y, args[4 * i + 2] = dst[i].x, args[4 * i + 3] = dst[i].y;
        }
        cxDistortJob job{};
        job.srcWidth = int32_t(W), job.srcHeight = int32_t(H);
        job.method = CX_DISTORT_PERSPECTIVE;
        job.argCount = 16;
        job.args = args;
        ComputeDistortionCoefficients(&job);
        ASSERT_EQ(job.error, 0);
        const cv::Mat m = cv::getPerspectiveTransform(dst, src); // reverse: destination to source
        const double k = m.at<double>(2, 2);
        const double want[8] = {m.at<double>(0, 0) / k, m.at<double>(0, 1) / k, m.at<double>(0, 2) / k,
                                m.at<double>(1, 0) / k, m.at<double>(1, 1) / k, m.at<double>(1, 2) / k,
                                m.at<double>(2, 0) / k, m.at<double>(2, 1) / k};
        for (int i = 0; i < 8; ++i)
            EXPECT_NEAR(job.coefficients[i], want[i], 1e-6 * std::max(1.0, std::fabs(want[i]))) << round << " c" << i;
    }
}

} // namespace
