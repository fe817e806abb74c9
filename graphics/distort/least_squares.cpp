#include "graphics/distort/least_squares.h"

#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

extern "C" double **AllocMatrix(int32_t rows, int32_t columns) {
    if (rows < 1 || columns < 1) return nullptr;
    auto **m = static_cast<double **>(std::calloc(size_t(rows), sizeof(double *)));
    if (!m) return nullptr;
    for (int32_t i = 0; i < rows; ++i) {
        m[i] = static_cast<double *>(std::calloc(size_t(columns), sizeof(double)));
        if (!m[i]) {
            FreeMatrix(m, i);
            return nullptr;
        }
    }
    return m;
}

extern "C" void FreeMatrix(double **matrix, int32_t rows) {
    if (!matrix) return;
    for (int32_t i = 0; i < rows; ++i) std::free(matrix[i]);
    std::free(matrix);
}

extern "C" void AddLeastSquaresTerms(double **matrix, double **vectors, const double *terms, const double *results,
                                     int32_t rank, int32_t vectorCount) {
    for (int32_t i = 0; i < rank; ++i)
        for (int32_t j = 0; j < rank; ++j) matrix[i][j] += terms[i] * terms[j];
    for (int32_t k = 0; k < vectorCount; ++k)
        for (int32_t i = 0; i < rank; ++i) vectors[k][i] += results[k] * terms[i];
}

extern "C" int SolveGaussJordan(double **a, double **vectors, int32_t rank, int32_t vectorCount) {
    if (rank < 1) return 0;
    std::vector<int32_t> pivots(size_t(rank), 0), rows(size_t(rank), 0), cols(size_t(rank), 0);
    for (int32_t step = 0; step < rank; ++step) {
        double big = 0.0;
        int32_t prow = 0, pcol = 0;
        for (int32_t j = 0; j < rank; ++j) {
            if (pivots[size_t(j)] == 1) continue;
            for (int32_t k = 0; k < rank; ++k) {
                if (pivots[size_t(k)] != 0) continue;
                if (std::fabs(a[j][k]) >= big) { // a later element of equal size wins
                    big = std::fabs(a[j][k]);
                    prow = j;
                    pcol = k;
                }
            }
        }
        if (++pivots[size_t(pcol)] > 1) return 0;
        if (prow != pcol) {
            std::swap(a[prow], a[pcol]);
            for (int32_t k = 0; k < vectorCount; ++k) std::swap(vectors[k][prow], vectors[k][pcol]);
        }
        rows[size_t(step)] = prow;
        cols[size_t(step)] = pcol;
        const double pivot = a[pcol][pcol];
        if (pivot == 0.0 || !std::isfinite(pivot)) return 0;
        const double inv = 1.0 / pivot;
        a[pcol][pcol] = 1.0;
        for (int32_t j = 0; j < rank; ++j) a[pcol][j] *= inv;
        for (int32_t k = 0; k < vectorCount; ++k) vectors[k][pcol] *= inv;
        for (int32_t r = 0; r < rank; ++r) {
            if (r == pcol) continue;
            const double f = a[r][pcol];
            a[r][pcol] = 0.0;
            for (int32_t j = 0; j < rank; ++j) a[r][j] -= a[pcol][j] * f;
            for (int32_t k = 0; k < vectorCount; ++k) vectors[k][r] -= vectors[k][pcol] * f;
        }
    }
    // Undo the column exchanges in reverse order (they reorder the inverse
    // held in the matrix; the solutions are already in place).
    for (int32_t step = rank - 1; step >= 0; --step) {
        const int32_t r = rows[size_t(step)], c = cols[size_t(step)];
        if (r != c)
            for (int32_t k = 0; k < rank; ++k) std::swap(a[k][r], a[k][c]);
    }
    return 1;
}

extern "C" void InvertPerspectiveCoefficients(const double c[8], double out[8]) {
    const double k = 1.0 / (c[0] * c[4] - c[1] * c[3]);
    out[0] = (c[4] - c[7] * c[5]) * k;
    out[1] = (c[7] * c[2] - c[1]) * k;
    out[2] = (c[1] * c[5] - c[4] * c[2]) * k;
    out[3] = (c[6] * c[5] - c[3]) * k;
    out[4] = (c[0] - c[6] * c[2]) * k;
    out[5] = (c[3] * c[2] - c[0] * c[5]) * k;
    out[6] = (c[3] * c[7] - c[6] * c[4]) * k;
    out[7] = (c[6] * c[1] - c[0] * c[7]) * k;
}
