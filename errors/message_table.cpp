// The built-in message table, the code-to-message map and the script
// constants of the error codes, all built at compile time from messages.def.
#include <array>
#include <cstddef>

#include "errors/errors.h"

namespace {

constexpr int kFirstCode = 1000;
constexpr int kMapSize = CX_BUILTIN_ERROR_END - kFirstCode;  // 630

struct CodeRow {
    int code;
    const char *name;
    int id;  // CX_MESSAGE_IS_DETAIL for codes whose message is the detail
    const char *text;
};

constexpr CodeRow kCodeRows[] = {
#define CX_ERROR_MESSAGE(code, id, text) {code, #code, id, text},
#define CX_ERROR_DETAIL(code) {code, #code, CX_MESSAGE_IS_DETAIL, nullptr},
#define CX_MESSAGE(id, text)
#include "errors/messages.def"
#undef CX_ERROR_MESSAGE
#undef CX_ERROR_DETAIL
#undef CX_MESSAGE
};

constexpr cxMessageEntry kOtherRows[] = {
#define CX_ERROR_MESSAGE(code, id, text)
#define CX_ERROR_DETAIL(code)
#define CX_MESSAGE(id, text) {id, text},
#include "errors/messages.def"
#undef CX_ERROR_MESSAGE
#undef CX_ERROR_DETAIL
#undef CX_MESSAGE
};

// Texts by id; null for an unused id.
constexpr std::array<const char *, CX_MESSAGE_ID_COUNT> MakeTextsById() {
    std::array<const char *, CX_MESSAGE_ID_COUNT> texts{};
    for (const CodeRow &row : kCodeRows)
        if (row.id >= 0) texts[static_cast<std::size_t>(row.id)] = row.text;
    for (const cxMessageEntry &row : kOtherRows) texts[row.id] = row.text;
    return texts;
}
constexpr auto kTextsById = MakeTextsById();

constexpr std::size_t CountUsedIds() {
    std::size_t n = 0;
    for (const char *text : kTextsById) n += text != nullptr;
    return n;
}

constexpr auto MakeMessageTable() {
    std::array<cxMessageEntry, CountUsedIds()> rows{};
    std::size_t n = 0;
    for (unsigned id = 0; id < kTextsById.size(); ++id)
        if (kTextsById[id]) rows[n++] = cxMessageEntry{id, kTextsById[id]};
    return rows;
}
constexpr auto kMessageTable = MakeMessageTable();

constexpr std::array<int, kMapSize> MakeCodeMap() {
    std::array<int, kMapSize> map{};
    for (int &id : map) id = CX_MESSAGE_NONE;
    for (const CodeRow &row : kCodeRows) map[static_cast<std::size_t>(row.code - kFirstCode)] = row.id;
    return map;
}
constexpr auto kCodeMap = MakeCodeMap();

constexpr auto MakeConstants() {
    std::array<cxErrorConstant, std::size(kCodeRows)> constants{};
    for (std::size_t i = 0; i < constants.size(); ++i)
        constants[i] = cxErrorConstant{kCodeRows[i].name, kCodeRows[i].code};
    return constants;
}
constexpr auto kConstants = MakeConstants();

// The data file is checked while compiling: a broken row fails the build.
constexpr bool RowsAreSound() {
    std::array<int, CX_MESSAGE_ID_COUNT> idUses{};
    int lastCode = kFirstCode - 1;
    for (const CodeRow &row : kCodeRows) {
        if (row.code <= lastCode || row.code >= CX_BUILTIN_ERROR_END) return false;  // order, range
        lastCode = row.code;
        if (row.id == CX_MESSAGE_IS_DETAIL) continue;
        if (row.id < 0 || row.id >= CX_MESSAGE_ID_COUNT || !row.text || !row.text[0]) return false;
        if (idUses[static_cast<std::size_t>(row.id)]++) return false;
    }
    for (const cxMessageEntry &row : kOtherRows) {
        if (row.id >= CX_MESSAGE_ID_COUNT || !row.text || !row.text[0]) return false;
        if (idUses[row.id]++) return false;
    }
    return true;
}
static_assert(RowsAreSound(), "messages.def: codes out of order or ids reused");
// 630 codes less the eight unnamed ones.
static_assert(std::size(kCodeRows) == kMapSize - 8, "messages.def: a code row is missing");
static_assert(kTextsById[CX_MSG_NO_ERROR] && kTextsById[CX_MSG_UNKNOWN_CODE] &&
                  kTextsById[CX_MSG_CURRENT_LINE] && kTextsById[CX_MSG_FILE] &&
                  kTextsById[CX_MSG_IN_FUNCTION],
              "messages.def: a report word is missing");

}  // namespace

extern "C" const cxMessageEntry *GetMessageTable(unsigned *count) {
    if (count) *count = static_cast<unsigned>(kMessageTable.size());
    return kMessageTable.data();
}

extern "C" const char *GetMessageText(unsigned id) {
    if (id >= CX_MESSAGE_ID_COUNT) return nullptr;
    if (cxMessageOverride hook = GetMessageOverride()) {
        if (const char *replacement = hook(id)) return replacement;
    }
    return kTextsById[id];
}

extern "C" int GetErrorMessageId(int code) {
    // Compare before subtracting so that no code can overflow the index.
    if (code < kFirstCode || code >= CX_BUILTIN_ERROR_END) return CX_MESSAGE_NONE;
    return kCodeMap[static_cast<std::size_t>(code - kFirstCode)];
}

extern "C" const cxErrorConstant *GetErrorConstants(unsigned *count) {
    if (count) *count = static_cast<unsigned>(kConstants.size());
    return kConstants.data();
}
