// The text form of the test assembler (syntax in tools/cxasm/README.md).
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/cxasm/asm_builder.h"

namespace cxasm {

struct AsmError : std::runtime_error {
    AsmError(int line, const std::string &msg)
        : std::runtime_error("line " + std::to_string(line) + ": " + msg), line(line) {}
    int line;
};

// Parses the source into a main function builder (throws AsmError).
std::unique_ptr<FunctionBuilder> parseAssembly(const std::string &text);
// The labels of the main function (the file's top level): name ->
// instruction index. Labels that are only jumped to, never bound, are left
// out. Throws AsmError as parseAssembly.
std::map<std::string, int> mainLabels(const std::string &text);
// Parses and assembles: the chunk bytes.
std::vector<uint8_t> assembleText(const std::string &text, const ChunkOptions &opt = {});

} // namespace cxasm
