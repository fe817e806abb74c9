// Error texts: filling message placeholders, the message of a code, and the
// error codes that scripts and plug-ins register at run time.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "errors/bounded_text.h"
#include "errors/errors.h"

namespace {

using cx::BoundedWriter;

// Codes whose detail is a loaded file's path: the report names the file only.
constexpr int kFilePartCodes[] = {
    ERR_LOADPICTURE, ERR_READFILE, ERR_OPENSOUND, ERR_NOALPHA, ERR_OPENANIM2,
    ERR_OPENSOUND2, ERR_LOADPICTURE2, ERR_IMAGEERROR, ERR_LOADVIDEO, ERR_NOTRANSPARENCY,
};

bool ShowsFilePartOnly(int code) {
    for (int c : kFilePartCodes)
        if (c == code) return true;
    return false;
}

const char *FilePart(const char *path) {
    const char *part = path;
    for (const char *p = path; *p; ++p)
        if (*p == '/' || *p == '\\' || *p == ':') part = p + 1;
    return part;
}

constexpr char kChunkPrefix[] = ":::chunk";

cxChunkNameResolver g_chunkResolver;

// The custom error texts; the code of entry i is CX_FIRST_CUSTOM_ERROR + i.
std::mutex g_customMutex;
std::vector<std::string> g_customErrors;

const char *UnknownCodeText() {
    const char *text = GetMessageText(CX_MSG_UNKNOWN_CODE);
    return text ? text : "Unknown error code!";
}

// Fills text from the current detail and number. A ":::chunk" detail stands
// for a file linked into the applet and is shown by that file's own name.
void FillFromDetail(int code, const char *text, char *buffer, size_t size) {
    const char *detail = GetErrorDetail();
    char linkedName[CX_ERROR_DETAIL_MAX + 1];
    if (strstr(text, "%s") && strncmp(detail, kChunkPrefix, sizeof kChunkPrefix - 1) == 0) {
        linkedName[0] = 0;
        if (!g_chunkResolver || !g_chunkResolver(detail, linkedName, sizeof linkedName))
            memcpy(linkedName, "unknown", sizeof "unknown");
        linkedName[sizeof linkedName - 1] = 0;
        detail = linkedName;
    }
    if (ShowsFilePartOnly(code)) detail = FilePart(detail);
    FillMessagePlaceholders(text, detail, GetErrorNumber(), buffer, size);
}

}  // namespace

extern "C" size_t FillMessagePlaceholders(const char *text, const char *detail, int number,
                                          char *out, size_t size) {
    BoundedWriter w{out, size};
    if (!text) return w.Finish();
    bool detailDone = false, numberDone = false;
    const char *run = text;  // start of the literal text not yet copied
    for (const char *p = text; *p; ++p) {
        if (p[0] != '%') continue;
        if (p[1] == 's' && !detailDone) {
            w.Put(run, static_cast<size_t>(p - run));
            w.Put(detail ? detail : "");
            detailDone = true;
        } else if (p[1] == 'd' && !numberDone) {
            w.Put(run, static_cast<size_t>(p - run));
            char digits[16];
            snprintf(digits, sizeof digits, "%d", number);
            w.Put(digits);
            numberDone = true;
        } else {
            continue;  // any other "%" stays in the literal run
        }
        ++p;
        run = p + 1;
    }
    w.Put(run);
    return w.Finish();
}

extern "C" void SetChunkNameResolver(cxChunkNameResolver hook) { g_chunkResolver = hook; }

extern "C" char *GetErrorText(int code, char *buffer, size_t size) {
    if (!buffer || !size) return buffer;
    buffer[0] = 0;
    if (code >= CX_FIRST_CUSTOM_ERROR) {
        std::lock_guard<std::mutex> lock(g_customMutex);
        // Compare as unsigned so that no code can index past the list.
        size_t index = static_cast<size_t>(code) - CX_FIRST_CUSTOM_ERROR;
        if (index < g_customErrors.size())
            FillFromDetail(code, g_customErrors[index].c_str(), buffer, size);
        else
            FillMessagePlaceholders(UnknownCodeText(), nullptr, 0, buffer, size);
        return buffer;
    }
    if (code == ERR_NONE) {
        const char *text = GetMessageText(CX_MSG_NO_ERROR);
        FillMessagePlaceholders(text ? text : "No error occurred!", nullptr, 0, buffer, size);
        return buffer;
    }
    int id = GetErrorMessageId(code);
    if (id == CX_MESSAGE_IS_DETAIL) {
        // The detail is the whole message (a formatted font error, the text
        // of a script's error call): copied verbatim, never filled.
        BoundedWriter w{buffer, size};
        w.Put(GetErrorDetail());
        w.Finish();
        return buffer;
    }
    const char *text = id >= 0 ? GetMessageText(static_cast<unsigned>(id)) : nullptr;
    if (!text) {
        FillMessagePlaceholders(UnknownCodeText(), nullptr, 0, buffer, size);
        return buffer;
    }
    FillFromDetail(code, text, buffer, size);
    if (const char *reason = GetErrorReason(code)) {
        const size_t used = strlen(buffer);
        if (used + 1 < size) snprintf(buffer + used, size - used, "\n%s", reason);
    }
    return buffer;
}

extern "C" int RegisterErrorCode(const char *text) {
    std::lock_guard<std::mutex> lock(g_customMutex);
    if (g_customErrors.size() >= static_cast<size_t>(INT32_MAX - CX_FIRST_CUSTOM_ERROR))
        return ERR_MEM;
    try {
        g_customErrors.emplace_back(text ? text : "");
    } catch (const std::bad_alloc &) {
        return ERR_MEM;
    }
    return CX_FIRST_CUSTOM_ERROR + static_cast<int>(g_customErrors.size() - 1);
}

extern "C" void FreeCustomErrors(void) {
    std::lock_guard<std::mutex> lock(g_customMutex);
    std::vector<std::string>().swap(g_customErrors);
}
