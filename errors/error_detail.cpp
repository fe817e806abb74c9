// The error detail is process-wide: it is set on the thread that raises the
// error, immediately before the raise, and read by the report.
#include <cstring>

#include "errors/errors.h"

namespace {
char g_detail[CX_ERROR_DETAIL_MAX + 1];
int g_number;
}  // namespace

extern "C" void SetErrorDetail(const char *text) {
    if (!text) {
        g_detail[0] = 0;
        return;
    }
    if (text == g_detail) return;
    size_t n = strnlen(text, CX_ERROR_DETAIL_MAX);
    memmove(g_detail, text, n);
    g_detail[n] = 0;
}

namespace {
int g_reasonCode;
char g_reason[CX_ERROR_DETAIL_MAX + 1];
char g_reasonDetail[CX_ERROR_DETAIL_MAX + 1];
}  // namespace

extern "C" void SetErrorReason(int code, const char *text) {
    g_reasonCode = text ? code : 0;
    const size_t n = text ? strnlen(text, CX_ERROR_DETAIL_MAX) : 0;
    memcpy(g_reason, text ? text : "", n);
    g_reason[n] = 0;
    memcpy(g_reasonDetail, g_detail, sizeof g_detail);
}

extern "C" const char *GetErrorReason(int code) {
    if (!g_reasonCode || code != g_reasonCode || strcmp(g_reasonDetail, g_detail) != 0) return nullptr;
    return g_reason;
}

extern "C" void SetErrorNumber(int number) { g_number = number; }
extern "C" const char *GetErrorDetail(void) { return g_detail; }
extern "C" int GetErrorNumber(void) { return g_number; }

namespace {
cxMessageOverride g_override;
}
extern "C" void SetMessageOverride(cxMessageOverride hook) { g_override = hook; }
// Read by the message table; kept here so that the hook has one home.
extern "C" cxMessageOverride GetMessageOverride(void) { return g_override; }

namespace {
cxErrorPosition g_position = {-1, "", "----"};

void CopyBounded(char *dst, size_t size, const char *src) {
    size_t n = src ? strnlen(src, size - 1) : 0;
    if (n) memcpy(dst, src, n);
    dst[n] = 0;
}
}  // namespace

extern "C" void SetErrorPosition(int line, const char *source, const char *command) {
    g_position.line = line;
    CopyBounded(g_position.source, sizeof g_position.source, source);
    CopyBounded(g_position.command, sizeof g_position.command, command ? command : "----");
}
extern "C" void ResetErrorPosition(void) { SetErrorPosition(-1, "", "----"); }
extern "C" const cxErrorPosition *GetErrorPosition(void) { return &g_position; }
