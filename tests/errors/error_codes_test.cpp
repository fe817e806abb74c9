#include <gtest/gtest.h>

#include "errors/error_codes.h"

TEST(ErrorCodeNames, KnownCodesAndGaps) {
    struct Case { int code; const char *name; } cases[] = {
        {1000, "ERR_MEM"}, {1003, "ERR_USERABORT"}, {1159, "ERR_FIELDINIT"},
        {1310, "ERR_PAKFORMAT"}, {1461, "ERR_INVCAPIDX"}, {1588, "ERR_INVALIDUTF8ARG"},
        {1629, "ERR_NUMBEREXPECTED"},
    };
    for (const auto &c : cases) {
        ASSERT_NE(GetErrorCodeName(c.code), nullptr) << c.code;
        EXPECT_STREQ(GetErrorCodeName(c.code), c.name);
    }
    for (int gap : {1249, 1406, 1407, 1408, 1603, 1604, 1605, 1606, 999, 1630, -5})
        EXPECT_EQ(GetErrorCodeName(gap), nullptr) << gap;
}
