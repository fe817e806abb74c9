// Small dense linear algebra for fitting mappings: matrices as arrays of row
// pointers, normal equations built term by term, and a Gauss-Jordan solver
// with full pivoting.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* rows x columns doubles, all zero; null when memory runs out (rows made so
   far are freed). */
double **AllocMatrix(int32_t rows, int32_t columns);
void FreeMatrix(double **matrix, int32_t rows);

/* matrix[i][j] += terms[i] * terms[j] for i, j < rank, and
   vectors[k][i] += results[k] * terms[i] for k < vectorCount. */
void AddLeastSquaresTerms(double **matrix, double **vectors, const double *terms, const double *results, int32_t rank,
                          int32_t vectorCount);

/* Solves matrix * x = vector for each vector in place (the solutions
   replace the vectors; the matrix is destroyed). 1 solved, 0 singular. */
int SolveGaussJordan(double **matrix, double **vectors, int32_t rank, int32_t vectorCount);

/* The inverse of the perspective mapping with coefficients c[0..7]
   (x' = (c0 x + c1 y + c2) / (c6 x + c7 y + 1), y' with c3, c4, c5). */
void InvertPerspectiveCoefficients(const double c[8], double out[8]);

#ifdef __cplusplus
}
#endif
