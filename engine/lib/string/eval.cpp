// Eval: the expression evaluator. Numbers in the system's literal syntax
// ("$" and "0x" hexadecimal, "%" binary, decimals), constants after "#",
// variables from an optional table, parentheses and the operators
// + - * / % (integer remainder) ^ (power) with unary minus and plus.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/charset/charset.h"
#include "engine/lib/string/string_internal.h"
#include "engine/runtime/runtime.h"
#include "engine/runtime/number_literal.h"

namespace cxstring {

namespace {

struct EvalError {
    int code;
};

class Evaluator {
public:
    Evaluator(lua_State *L, const char *text, int vars) : L_(L), p_(text), vars_(vars) {}

    double Run() {
        double v = Additive();
        Skip();
        if (*p_) throw EvalError{ERR_SYNTAXERROR};
        return v;
    }

private:
    lua_State *L_;
    const char *p_;
    int vars_;
    int depth_ = 0;

    // Every recursive path counts its depth: a long run of "-" or "^" would
    // otherwise overflow the C stack.
    struct Nest {
        int &depth;
        explicit Nest(int &d) : depth(d) {
            if (++depth > kMaxDepth) {
                --depth;
                throw EvalError{ERR_COMPLEXPATTERN};
            }
        }
        ~Nest() { depth--; }
    };
    static constexpr int kMaxDepth = 200;

    void Skip() {
        while (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r') p_++;
    }

    double Additive() {
        double v = Term();
        for (;;) {
            Skip();
            if (*p_ == '+') {
                p_++;
                v += Term();
            } else if (*p_ == '-') {
                p_++;
                v -= Term();
            } else {
                return v;
            }
        }
    }

    static int32_t ToInt(double v) {
        if (std::isnan(v)) return 0;
        if (v <= -2147483648.0) return INT32_MIN;
        if (v >= 2147483647.0) return INT32_MAX;
        return static_cast<int32_t>(v);
    }

    double Term() {
        double v = Power();
        for (;;) {
            Skip();
            char op = *p_;
            if (op != '*' && op != '/' && op != '%') return v;
            p_++;
            double r = Power();
            if (op == '*') {
                v *= r;
            } else if (op == '/') {
                if (r == 0) throw EvalError{ERR_ZERODIVISION};
                v /= r;
            } else {
                int32_t a = ToInt(v), b = ToInt(r);
                if (b == 0) throw EvalError{ERR_ZERODIVISION};
                v = (b == -1) ? 0 : static_cast<double>(a % b);
            }
        }
    }

    double Power() {
        double v = Unary();
        Skip();
        if (*p_ == '^') {
            p_++;
            Nest nest(depth_);
            return std::pow(v, Power());
        }
        return v;
    }

    double Unary() {
        Skip();
        if (*p_ == '-') {
            p_++;
            Nest nest(depth_);
            return -Unary();
        }
        if (*p_ == '+') {
            p_++;
            Nest nest(depth_);
            return Unary();
        }
        return Primary();
    }

    double Primary() {
        Skip();
        Nest nest(depth_);
        if (*p_ == '(') {
            p_++;
            double v = Additive();
            Skip();
            if (*p_ != ')') throw EvalError{ERR_BRACKETCLOSE};
            p_++;
            return v;
        }
        if (*p_ == '#') {
            size_t used = 0;
            int type = 0;
            double v = 0;
            if (int err = ParseConstantName(L_, p_, &used, &type, &v)) throw EvalError{err};
            if (type != LUA_TNUMBER) throw EvalError{ERR_VALUEEXPECTED};
            p_ += used;
            return v;
        }
        if (isalpha(static_cast<unsigned char>(*p_)) || *p_ == '_') {
            const char *start = p_;
            while (isalnum(static_cast<unsigned char>(*p_)) || *p_ == '_') p_++;
            return Variable(std::string(start, p_));
        }
        size_t used = 0;
        int err = 0;
        double v = ParseNumberLiteral(p_, &used, &err);
        if (err || used == 0) throw EvalError{err ? err : ERR_SYNTAXERROR};
        p_ += used;
        return v;
    }

    double Variable(const std::string &name) {
        if (vars_) {
            for (int i = 0;; i++) {
                lua_rawgeti(L_, vars_, i);
                if (lua_isnil(L_, -1)) {
                    lua_pop(L_, 1);
                    break;
                }
                if (lua_istable(L_, -1)) {
                    lua_pushstring(L_, "name");
                    lua_gettable(L_, -2);
                    const char *n = lua_type(L_, -1) == LUA_TSTRING ? lua_tostring(L_, -1) : nullptr;
                    bool same = n && StrCompareNoCase(n, name.c_str()) == 0;
                    lua_pop(L_, 1);
                    if (same) {
                        lua_pushstring(L_, "value");
                        lua_gettable(L_, -2);
                        if (!lua_isnumber(L_, -1)) throw EvalError{ERR_NUMBEREXPECTED};
                        double v = lua_tonumber(L_, -1);
                        lua_pop(L_, 2);
                        return v;
                    }
                }
                lua_pop(L_, 1);
            }
        }
        SetErrorDetail(name.c_str());
        throw EvalError{ERR_FINDCST};
    }
};

} // namespace

// Eval(expression[, variables]) -> number. variables is a table of
// entries (from index 0) with the fields "name" and "value".
int Eval(lua_State *L) {
    CheckArgCount(L, 1, 2, 0, 0);
    const char *text = luaL_checkstring(L, 1);
    int vars = 0;
    if (!lua_isnoneornil(L, 2)) {
        luaL_checktable(L, 2);
        vars = 2;
    }
    try {
        Evaluator e(L, text, vars);
        lua_pushnumber(L, e.Run());
        return 1;
    } catch (const EvalError &e) {
        return e.code;
    }
}

} // namespace cxstring
