// Sets the UTF-8 mode flag for one test and restores it afterwards.
#pragma once

#include "engine/charset/charset.h"

class ModeGuard {
public:
    explicit ModeGuard(int utf8) : saved_(GetUtf8Mode()) { SetUtf8Mode(utf8); }
    ~ModeGuard() { SetUtf8Mode(saved_); }
    ModeGuard(const ModeGuard &) = delete;
    ModeGuard &operator=(const ModeGuard &) = delete;

private:
    int saved_;
};
