// Puts every piece of process-wide error state back to its start-up value.
#pragma once

#include <gtest/gtest.h>

#include "errors/errors.h"

class ErrorStateTest : public ::testing::Test {
protected:
    static void Reset() {
        SetErrorDetail(nullptr);
        SetErrorNumber(0);
        SetErrorReason(0, nullptr);
        SetMessageOverride(nullptr);
        SetChunkNameResolver(nullptr);
        SetErrorLineMapper(nullptr);
        SetErrorRequester(nullptr);
        SetErrorPositionReporting(1);
        ResetErrorPosition();
        FreeCustomErrors();
    }
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
};
