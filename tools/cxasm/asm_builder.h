// Test assembler: builds function prototypes in code and turns them into
// chunks through the virtual machine's chunk writer. A repo tool for tests,
// benchmarks and demo applets; nothing here is checked: the loader's
// verifier judges the result.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/vm/vm_internal.h"

namespace cxasm {

struct Label {
    int id = -1;
};

class FunctionBuilder {
public:
    explicit FunctionBuilder(std::string source = "");

    // Header fields.
    FunctionBuilder &source(const std::string &name);
    FunctionBuilder &params(int n);
    FunctionBuilder &vararg(bool on = true);
    FunctionBuilder &maxstack(int n); // default: highest register used + 1, at least 2
    FunctionBuilder &lineDefined(int line);
    FunctionBuilder &line(int line); // line of the instructions that follow
    FunctionBuilder &noLineInfo(bool on = true);
    FunctionBuilder &upvalues(const std::vector<std::string> &names); // sets nups too
    FunctionBuilder &nups(int n);                                     // without names
    FunctionBuilder &local(const std::string &name, int startpc, int endpc);

    // Constants: the index in the constant table (shared when equal).
    int k(double n);
    int k(const std::string &s);
    int k(const char *s) { return k(std::string(s)); }
    int knil();
    // The same as RK operands (register numbers stay as they are).
    int K(double n) { return MAXSTACK + k(n); }
    int K(const std::string &s) { return MAXSTACK + k(s); }
    int K(const char *s) { return MAXSTACK + k(std::string(s)); }

    // Labels.
    Label label();
    void bind(Label l);
    Label here(); // a new label bound at the current position
    int position(Label l) const; // the instruction index it is bound to, -1 if unbound

    // Instructions; each returns its index.
    int abc(int op, int a, int b = 0, int c = 0);
    int abx(int op, int a, int bx);
    int jmp(Label target, bool gosub = false);
    int jmpRaw(int offset, int mode = 0);
    int asbx(int op, int a, Label target); // FORLOOP, TFORPREP
    int asbxRaw(int op, int a, int sbx);
    int word(uint32_t w);
    uint32_t wordAt(int at) const { return code_.at(static_cast<size_t>(at)); }
    void setWord(int at, uint32_t w) { code_.at(static_cast<size_t>(at)) = w; }
    int pc() const { return static_cast<int>(code_.size()); }

    // A nested function: its index for CLOSURE is the order of creation.
    FunctionBuilder &child(const std::string &source = "");
    int childCount() const { return static_cast<int>(children_.size()); }
    FunctionBuilder &childAt(int i) { return *children_[static_cast<size_t>(i)]; }

    // Turns the builder into a prototype of L (labels resolved).
    Proto *build(lua_State *L, Proto *parent) const;

private:
    void touch(int reg);
    struct Fixup {
        int pc;
        int label;
        bool jmpfield;
    };
    std::string source_;
    int params_ = 0;
    bool vararg_ = false;
    int maxstack_ = -1;
    int maxreg_ = 0;
    int lineDefined_ = 0;
    int line_ = 1;
    bool noLines_ = false;
    int nups_ = 0;
    std::vector<std::string> upnames_;
    struct Local {
        std::string name;
        int startpc, endpc;
    };
    std::vector<Local> locals_;
    struct Const {
        int type;
        double n;
        std::string s;
    };
    std::vector<Const> consts_;
    std::vector<uint32_t> code_;
    std::vector<int> lines_;
    std::vector<int> labels_;
    std::vector<Fixup> fixups_;
    std::vector<std::unique_ptr<FunctionBuilder>> children_;
};

struct ChunkOptions {
    bool bigEndian = false;
    int sizeT = 4;
};

// The chunk bytes of a main function, made by the chunk writer. Throws
// std::runtime_error when a label was never bound.
std::vector<uint8_t> assemble(const FunctionBuilder &main, const ChunkOptions &opt = {});

} // namespace cxasm
