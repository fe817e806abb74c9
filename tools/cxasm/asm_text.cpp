// Test assembler: the text parser over the builder.
#include "tools/cxasm/asm_text.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <sstream>

namespace cxasm {
namespace {

struct OpInfo {
    const char *name;
    int op;
    char form; // see parseInstruction
};

// Forms: R = A B (registers), K = A const, G = A name constant, B = A B C
// (plain numbers), X = A B RK, S = A RK RK, T = SELF A B RK, C = A B C
// (call-like numbers), J = label, Q = A label, E = flag RK RK, L = A Bx,
// U = A B (upvalue), F = A name of a nested function, O = A (only),
// Y = A C (numbers).
const OpInfo kOps[] = {
    {"MOVE", OP_MOVE, 'R'},         {"LOADK", OP_LOADK, 'K'},       {"LOADBOOL", OP_LOADBOOL, 'B'},
    {"LOADNIL", OP_LOADNIL, 'R'},   {"GETUPVAL", OP_GETUPVAL, 'U'}, {"GETGLOBAL", OP_GETGLOBAL, 'G'},
    {"GETTABLE", OP_GETTABLE, 'X'}, {"SETGLOBAL", OP_SETGLOBAL, 'G'}, {"SETUPVAL", OP_SETUPVAL, 'U'},
    {"SETTABLE", OP_SETTABLE, 'S'}, {"NEWTABLE", OP_NEWTABLE, 'B'}, {"ADD", OP_ADD, 'S'},
    {"SUB", OP_SUB, 'S'},           {"MUL", OP_MUL, 'S'},           {"DIV", OP_DIV, 'S'},
    {"IDIV", OP_IDIV, 'S'},         {"MOD", OP_MOD, 'S'},           {"SHL", OP_SHL, 'S'},
    {"SHR", OP_SHR, 'S'},           {"BOR", OP_BOR, 'S'},           {"BAND", OP_BAND, 'S'},
    {"BXOR", OP_BXOR, 'S'},         {"POW", OP_POW, 'S'},           {"UNM", OP_UNM, 'R'},
    {"NOT", OP_NOT, 'R'},           {"BNOT", OP_BNOT, 'R'},         {"CONCAT", OP_CONCAT, 'B'},
    {"JMP", OP_JMP, 'J'},           {"GOSUB", OP_JMP, 'J'},         {"EQ", OP_EQ, 'E'},
    {"LT", OP_LT, 'E'},             {"LE", OP_LE, 'E'},             {"TEST", OP_TEST, 'B'},
    {"CALL", OP_CALL, 'C'},         {"TAILCALL", OP_TAILCALL, 'C'}, {"RETURN", OP_RETURN, 'C'},
    {"FORLOOP", OP_FORLOOP, 'Q'},   {"TFORLOOP", OP_TFORLOOP, 'Y'}, {"TFORPREP", OP_TFORPREP, 'Q'},
    {"SETLIST", OP_SETLIST, 'L'},   {"SETLISTO", OP_SETLISTO, 'L'}, {"CLOSE", OP_CLOSE, 'O'},
    {"CLOSURE", OP_CLOSURE, 'F'},   {"SELF", OP_SELF, 'T'},         {"CALLC", OP_CALLC, 'C'},
    {"TAILCALLC", OP_TAILCALLC, 'C'},
};

struct Tok {
    enum Kind { Word, Number, String, Hash } kind;
    std::string text;
    double num = 0;
};

struct FuncCtx {
    FunctionBuilder *fb;
    std::map<std::string, Label> labels;
    std::map<std::string, int> children;
    struct Pending {
        int pc;
        std::string name;
        int line;
    };
    std::vector<Pending> closures;
};

class Parser {
public:
    explicit Parser(const std::string &text) : text_(text) {}

    std::unique_ptr<FunctionBuilder> run() {
        auto main = std::make_unique<FunctionBuilder>();
        stack_.push_back(FuncCtx{main.get(), {}, {}, {}});
        std::istringstream in(text_);
        std::string raw;
        while (std::getline(in, raw)) {
            line_++;
            std::vector<Tok> toks = tokenize(raw);
            if (!toks.empty()) statement(toks);
        }
        if (stack_.size() != 1) fail("missing .end");
        finish(stack_.back());
        return main;
    }

    std::map<std::string, int> mainLabels() const {
        std::map<std::string, int> out;
        for (const auto &[name, l] : stack_.front().labels)
            if (int at = stack_.front().fb->position(l); at >= 0) out[name] = at;
        return out;
    }

private:
    [[noreturn]] void fail(const std::string &msg) const { throw AsmError(line_, msg); }

    std::vector<Tok> tokenize(const std::string &s) {
        std::vector<Tok> out;
        size_t i = 0;
        while (i < s.size()) {
            char c = s[i];
            if (isspace(static_cast<unsigned char>(c)) || c == ',') {
                i++;
            } else if (c == ';') {
                break;
            } else if (c == '"') {
                std::string v;
                i++;
                for (;;) {
                    if (i >= s.size()) fail("unterminated string");
                    char d = s[i++];
                    if (d == '"') break;
                    if (d == '\\') {
                        if (i >= s.size()) fail("bad escape");
                        char e = s[i++];
                        switch (e) {
                        case 'n': v += '\n'; break;
                        case 't': v += '\t'; break;
                        case 'r': v += '\r'; break;
                        case '0': v += '\0'; break;
                        case 'x': {
                            if (i + 2 > s.size()) fail("bad escape");
                            v += static_cast<char>(strtol(s.substr(i, 2).c_str(), nullptr, 16));
                            i += 2;
                            break;
                        }
                        default: v += e;
                        }
                    } else {
                        v += d;
                    }
                }
                out.push_back({Tok::String, v});
            } else {
                size_t j = i;
                while (j < s.size() && !isspace(static_cast<unsigned char>(s[j])) && s[j] != ',' && s[j] != ';')
                    j++;
                std::string w = s.substr(i, j - i);
                i = j;
                if (w[0] == '#') {
                    Tok t{Tok::Hash, w};
                    t.num = number(w.substr(1));
                    out.push_back(t);
                } else if (isdigit(static_cast<unsigned char>(w[0])) || w[0] == '-' || w[0] == '+') {
                    Tok t{Tok::Number, w};
                    t.num = number(w);
                    out.push_back(t);
                } else {
                    out.push_back({Tok::Word, w});
                }
            }
        }
        return out;
    }

    double number(const std::string &w) {
        char *end = nullptr;
        double v = (w.size() > 2 && (w[1] == 'x' || w[1] == 'X')) ? static_cast<double>(strtoul(w.c_str(), &end, 16))
                                                                  : strtod(w.c_str(), &end);
        if (!end || *end) fail("bad number '" + w + "'");
        return v;
    }

    FuncCtx &cur() { return stack_.back(); }

    int reg(const Tok &t) {
        if (t.kind == Tok::Number) return static_cast<int>(t.num);
        if (t.kind == Tok::Word && (t.text[0] == 'r' || t.text[0] == 'R') && t.text.size() > 1)
            return static_cast<int>(number(t.text.substr(1)));
        fail("register expected, got '" + t.text + "'");
    }

    int num(const Tok &t) {
        if (t.kind == Tok::Number || t.kind == Tok::Hash) return static_cast<int>(t.num);
        fail("number expected, got '" + t.text + "'");
    }

    int rk(const Tok &t) {
        FunctionBuilder &f = *cur().fb;
        if (t.kind == Tok::Hash) return f.K(t.num);
        if (t.kind == Tok::String) return f.K(t.text);
        if (t.kind == Tok::Word && t.text == "nil") return MAXSTACK + f.knil();
        return reg(t);
    }

    int constant(const Tok &t) {
        FunctionBuilder &f = *cur().fb;
        if (t.kind == Tok::Hash || t.kind == Tok::Number) return f.k(t.num);
        if (t.kind == Tok::String) return f.k(t.text);
        if (t.kind == Tok::Word && t.text == "nil") return f.knil();
        fail("constant expected, got '" + t.text + "'");
    }

    Label label(const std::string &name) {
        auto it = cur().labels.find(name);
        if (it != cur().labels.end()) return it->second;
        Label l = cur().fb->label();
        cur().labels[name] = l;
        return l;
    }

    void finish(FuncCtx &ctx) {
        for (const auto &p : ctx.closures) {
            auto it = ctx.children.find(p.name);
            if (it == ctx.children.end()) throw AsmError(p.line, "unknown function '" + p.name + "'");
            uint32_t w = ctx.fb->wordAt(p.pc);
            ctx.fb->setWord(p.pc, CREATE_ABx(OP_CLOSURE, GETARG_A(w), it->second));
        }
    }

    void need(const std::vector<Tok> &t, size_t n) {
        if (t.size() != n + 1) fail(t[0].text + " takes " + std::to_string(n) + " operands");
    }

    void statement(std::vector<Tok> &t) {
        std::string w = t[0].text;
        FunctionBuilder &f = *cur().fb;
        if (t[0].kind == Tok::Word && w.size() > 1 && w.back() == ':') {
            f.bind(label(w.substr(0, w.size() - 1)));
            t.erase(t.begin());
            if (!t.empty()) statement(t);
            return;
        }
        if (t[0].kind == Tok::Word && w[0] == '.') {
            directive(t);
            return;
        }
        std::string up;
        for (char c : w) up += static_cast<char>(toupper(static_cast<unsigned char>(c)));
        if (up == "WORD") {
            need(t, 1);
            f.word(static_cast<uint32_t>(t[1].num));
            return;
        }
        if (up == "RETSUB") {
            f.abc(OP_RETURN, 0, 0, 1);
            return;
        }
        const OpInfo *info = nullptr;
        for (const OpInfo &o : kOps)
            if (up == o.name) info = &o;
        if (!info) fail("unknown instruction '" + w + "'");
        int op = info->op;
        switch (info->form) {
        case 'R': need(t, 2); f.abc(op, reg(t[1]), reg(t[2])); break;
        case 'U': need(t, 2); f.abc(op, reg(t[1]), num(t[2])); break;
        case 'K': need(t, 2); f.abx(op, reg(t[1]), constant(t[2])); break;
        case 'G':
            need(t, 2);
            if (t[2].kind == Tok::Word && t[2].text != "nil") t[2].kind = Tok::String;
            f.abx(op, reg(t[1]), constant(t[2]));
            break;
        case 'B': {
            if (t.size() < 3 || t.size() > 4) fail(w + " takes 2 or 3 operands");
            f.abc(op, reg(t[1]), num(t[2]), t.size() > 3 ? num(t[3]) : 0);
            break;
        }
        case 'C': {
            if (t.size() < 3 || t.size() > 4) fail(w + " takes 2 or 3 operands");
            f.abc(op, reg(t[1]), num(t[2]), t.size() > 3 ? num(t[3]) : 0);
            break;
        }
        case 'X': need(t, 3); f.abc(op, reg(t[1]), reg(t[2]), rk(t[3])); break;
        case 'T': need(t, 3); f.abc(op, reg(t[1]), reg(t[2]), rk(t[3])); break;
        case 'S': need(t, 3); f.abc(op, reg(t[1]), rk(t[2]), rk(t[3])); break;
        case 'E': need(t, 3); f.abc(op, num(t[1]), rk(t[2]), rk(t[3])); break;
        case 'J':
            need(t, 1);
            if (t[1].kind == Tok::Hash || t[1].kind == Tok::Number)
                f.jmpRaw(num(t[1]), up == "GOSUB" ? JMP_GOSUB : 0);
            else
                f.jmp(label(t[1].text), up == "GOSUB");
            break;
        case 'Q':
            need(t, 2);
            if (t[2].kind == Tok::Hash || t[2].kind == Tok::Number)
                f.asbxRaw(op, reg(t[1]), num(t[2]));
            else
                f.asbx(op, reg(t[1]), label(t[2].text));
            break;
        case 'L': need(t, 2); f.abx(op, reg(t[1]), num(t[2])); break;
        case 'Y': need(t, 2); f.abc(op, reg(t[1]), 0, num(t[2])); break;
        case 'O': need(t, 1); f.abc(op, reg(t[1])); break;
        case 'F': {
            need(t, 2);
            int at = f.abx(op, reg(t[1]), 0);
            cur().closures.push_back({at, t[2].text, line_});
            break;
        }
        default: fail("internal: bad form");
        }
    }

    void directive(const std::vector<Tok> &t) {
        const std::string &d = t[0].text;
        FunctionBuilder &f = *cur().fb;
        auto arg = [&](size_t n) -> const Tok & {
            if (t.size() <= n) fail(d + ": operand missing");
            return t[n];
        };
        if (d == ".function") {
            std::string name = arg(1).text;
            if (cur().children.count(name)) fail("function '" + name + "' defined twice");
            cur().children[name] = f.childCount();
            FunctionBuilder &c = f.child();
            stack_.push_back(FuncCtx{&c, {}, {}, {}});
        } else if (d == ".end") {
            if (stack_.size() < 2) fail(".end without .function");
            finish(cur());
            stack_.pop_back();
        } else if (d == ".source") {
            if (arg(1).kind != Tok::String) fail(".source takes a string");
            f.source(arg(1).text);
        } else if (d == ".params") {
            f.params(num(arg(1)));
        } else if (d == ".vararg") {
            f.vararg(true);
        } else if (d == ".maxstack") {
            f.maxstack(num(arg(1)));
        } else if (d == ".line") {
            f.line(num(arg(1)));
        } else if (d == ".linedefined") {
            f.lineDefined(num(arg(1)));
        } else if (d == ".nolines") {
            f.noLineInfo(true);
        } else if (d == ".nups") {
            f.nups(num(arg(1)));
        } else if (d == ".upvalues") {
            std::vector<std::string> names;
            for (size_t i = 1; i < t.size(); i++) names.push_back(t[i].text);
            f.upvalues(names);
        } else if (d == ".local") {
            f.local(arg(1).text, num(arg(2)), num(arg(3)));
        } else if (d == ".const") {
            constant(arg(1));
        } else {
            fail("unknown directive '" + d + "'");
        }
    }

    const std::string &text_;
    int line_ = 0;
    std::vector<FuncCtx> stack_;
};

} // namespace

std::unique_ptr<FunctionBuilder> parseAssembly(const std::string &text) { return Parser(text).run(); }

std::map<std::string, int> mainLabels(const std::string &text) {
    Parser p(text);
    std::unique_ptr<FunctionBuilder> main = p.run();
    return p.mainLabels();
}

std::vector<uint8_t> assembleText(const std::string &text, const ChunkOptions &opt) {
    std::unique_ptr<FunctionBuilder> f = parseAssembly(text);
    return assemble(*f, opt);
}

} // namespace cxasm
