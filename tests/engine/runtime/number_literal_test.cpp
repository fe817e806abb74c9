#include "engine/runtime/number_literal.h"

#include <gtest/gtest.h>

#include "errors/error_codes.h"

namespace {

struct Case {
    const char *text;
    double value;
    size_t consumed;
    int error;
};

TEST(NumberLiteral, Table) {
    const Case cases[] = {
        {"123", 123, 3, 0},
        {"-42]", -42, 3, 0},
        {"$FF", 255, 3, 0},
        {"-$ff", -255, 4, 0},
        {"$fFzz", 255, 3, 0},
        {"%101", 5, 4, 0},
        {"%1012", 5, 4, 0},
        {"0x1f", 31, 4, 0},
        {"0X1F,", 31, 4, 0},
        {"12.5abc", 12.5, 4, 0},
        {"12.", 12, 2, 0},
        {"1e3", 1000, 3, 0},
        {"2E-2]", 0.02, 4, 0},
        {"7e", 7, 1, 0},
        {"1e-999", 0, 6, 0},
        {"007", 7, 3, 0},
        {"$", 0, 0, ERR_SYNTAXERROR},
        {"%", 0, 0, ERR_SYNTAXERROR},
        {"0x", 0, 0, ERR_SYNTAXERROR},
        {"-$g", 0, 0, ERR_SYNTAXERROR},
        {"abc", 0, 0, ERR_VALUEEXPECTED},
        {"-", 0, 0, ERR_VALUEEXPECTED},
        {"", 0, 0, ERR_VALUEEXPECTED},
        {".5", 0, 0, ERR_VALUEEXPECTED},
        {" 1", 0, 0, ERR_VALUEEXPECTED},
    };
    for (const Case &c : cases) {
        size_t consumed = 99;
        int error = -1;
        double v = ParseNumberLiteral(c.text, &consumed, &error);
        EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(NumberLiteral, LongLiteralsDoNotWrap) {
    int error = -1;
    double v = ParseNumberLiteral("$FFFFFFFFFFFFFFFFFFFF", nullptr, &error);
    EXPECT_EQ(error, 0);
    EXPECT_GT(v, 1e24);
    EXPECT_EQ(ParseNumberLiteral(nullptr, nullptr, &error), 0);
    EXPECT_EQ(error, ERR_VALUEEXPECTED);
}

}  // namespace
