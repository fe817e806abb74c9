// The interpreter and the value operations it relies on (conversions,
// table access through metamethods, arithmetic, ordering, concatenation).
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/charset/collate.h"
#include "errors/errors.h"
#include "engine/vm/vm_internal.h"

#define MAXTAGLOOP 100

// ---------------------------------------------------------------------------
// Conversions

int luaO_str2d(const char *s, lua_Number *result) {
    char *endptr;
    lua_Number res = strtod(s, &endptr);
    if (endptr == s) return 0;
    while (*endptr == ' ' || (*endptr >= '\t' && *endptr <= '\r')) endptr++;
    if (*endptr != '\0') return 0;
    *result = res;
    return 1;
}

const TObject *luaV_tonumber(const TObject *obj, TObject *n) {
    if (ttisnumber(obj)) return obj;
    lua_Number num;
    if (ttisstring(obj) && strlen(svalue(obj)) == tsvalue(obj)->len && luaO_str2d(svalue(obj), &num)) {
        setnvalue(n, num);
        return n;
    }
    return nullptr;
}

// Digits of u, least significant first; returns their count.
static int reverseDigits(uint64_t u, char *tmp) {
    int len = 0;
    do {
        tmp[len++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    return len;
}

// A number with a short decimal form: a = r / 10^k for the smallest k >= 1
// with r below 10^14, a at least 10^-4. "%.14g" then prints r's digits with
// k decimals: a is the double nearest to r / 10^k, far closer than half a
// unit of the 14th digit, and r ends in no zero. 0 when a has no such form.
static size_t shortDecimal(lua_Number n, char *buf) {
    static const double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,
                                    1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17};
    const lua_Number a = std::fabs(n);
    if (!(a >= 1e-4 && a < 1e13)) return 0;
    for (int k = 1; k <= 17; k++) {
        const lua_Number m = a * kPow10[k];
        if (m >= 1e14) return 0;
#if defined(__SSE2__) && defined(__x86_64__)
        const int64_t r = _mm_cvtsd_si64(_mm_set_sd(m)); // to nearest, as llrint, without the call
#else
        const int64_t r = std::llrint(m);
#endif
        if (static_cast<lua_Number>(r) / kPow10[k] != a) continue;
        if (r % 10 == 0) return 0; // not expected; leave it to snprintf
        char tmp[24];
        int len = reverseDigits(static_cast<uint64_t>(r), tmp);
        while (len <= k) tmp[len++] = '0'; // a leading "0." for a below 1
        size_t out = 0;
        if (n < 0) buf[out++] = '-';
        for (int j = len - 1; j >= k; j--) buf[out++] = tmp[j];
        buf[out++] = '.';
        for (int j = k - 1; j >= 0; j--) buf[out++] = tmp[j];
        buf[out] = 0;
        return out;
    }
    return 0;
}

size_t luaO_num2str(lua_Number n, char *buf) {
    // integers below 10^14 print as %.14g prints them, without the cost
    if (n > -1e14 && n < 1e14 && n == static_cast<lua_Number>(static_cast<int64_t>(n)) && !(n == 0 && std::signbit(n))) {
        int64_t v = static_cast<int64_t>(n);
        char tmp[24];
        bool neg = v < 0;
        int len = reverseDigits(neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v), tmp);
        size_t out = 0;
        if (neg) buf[out++] = '-';
        while (len) buf[out++] = tmp[--len];
        buf[out] = 0;
        return out;
    }
    if (size_t len = shortDecimal(n, buf)) return len;
    int len = snprintf(buf, 48, "%.14g", n);
    return len < 0 ? 0 : static_cast<size_t>(len);
}

int luaV_tostring(lua_State *L, StkId obj) {
    if (!ttisnumber(obj)) return 0;
    char s[48];
    size_t len = luaO_num2str(nvalue(obj), s);
    setsvalue(obj, luaS_newlstr(L, s, len));
    return 1;
}

uint32_t luaV_touint32(lua_Number n) {
    if (std::isnan(n)) return 0;
    if (n < 0) {
        if (n <= -2147483648.0) return 0x80000000u;
        return static_cast<uint32_t>(static_cast<int32_t>(n));
    }
    if (n >= 4294967295.0) return 0xFFFFFFFFu;
    return static_cast<uint32_t>(n);
}

int32_t luaV_toint32(lua_Number n) {
    if (std::isnan(n)) return 0;
    if (n <= -2147483648.0) return INT32_MIN;
    if (n >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(n);
}

int luaO_rawequalObj(const TObject *t1, const TObject *t2) {
    if (ttype(t1) != ttype(t2)) return 0;
    switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    default: return gcvalue(t1) == gcvalue(t2);
    }
}

// ---------------------------------------------------------------------------
// Names for error details

// The name under which a register got its value: a global, a field or a
// local; "?" when the code does not tell.
static const char *getobjname(const Proto *p, int pc, int reg) {
    int n = 0;
    for (int j = 0; j < p->sizelocvars; j++) {
        const LocVar &lv = p->locvars[j];
        if (lv.startpc > pc) break;
        if (pc < lv.endpc) {
            if (n == reg && lv.varname) return lv.varname->str();
            n++;
        }
    }
    for (int j = pc - 1; j >= 0; j--) {
        Instruction i = p->code[j];
        int op = p->specialized ? luaV_publicop(GET_OPCODE(i)) : GET_OPCODE(i);
        if (op == OP_JMP || op >= NUM_OPCODES) continue;
        if (GETARG_A(i) != reg) continue;
        switch (op) {
        case OP_GETGLOBAL: {
            int bx = GETARG_Bx(i);
            if (bx < p->sizek && ttisstring(&p->k[bx])) return svalue(&p->k[bx]);
            return "?";
        }
        case OP_GETTABLE:
        case OP_SELF: {
            int c = GETARG_C(i);
            if (ISK(c) && c - MAXSTACK < p->sizek && ttisstring(&p->k[c - MAXSTACK])) return svalue(&p->k[c - MAXSTACK]);
            return "?";
        }
        case OP_GETUPVAL: {
            int b = GETARG_B(i);
            if (b < p->sizeupvalues && p->upvalues[b]) return p->upvalues[b]->str();
            return "?";
        }
        case OP_MOVE:
            if (GETARG_B(i) < reg) return getobjname(p, j, GETARG_B(i));
            return "?";
        case OP_EQ: case OP_LT: case OP_LE: case OP_SETTABLE: case OP_SETGLOBAL: case OP_SETUPVAL:
        case OP_SETLIST: case OP_SETLISTO: case OP_CLOSE: case OP_TFORPREP: case OP_FORLOOP:
            continue; // these do not write R(A) (or not only)
        default: return "?";
        }
    }
    return "?";
}

static const char *nameOfRegister(lua_State *L, const TObject *o) {
    CallInfo *ci = L->ci;
    if (!isLua(ci) || o < ci->base || o >= ci->top) return "?";
    const Proto *p = ci_lfunc(ci)->p;
    return getobjname(p, pcRel(ci->savedpc, p), static_cast<int>(o - ci->base));
}

static void setKeyDetail(const TObject *key) {
    char buf[CX_ERROR_DETAIL_MAX + 1];
    if (ttisstring(key))
        snprintf(buf, sizeof buf, "\"%s\"", svalue(key));
    else if (ttisnumber(key))
        snprintf(buf, sizeof buf, "%g", nvalue(key));
    else
        snprintf(buf, sizeof buf, "%s", luaT_typenames[ttype(key) <= LUA_TTHREAD ? ttype(key) : 0]);
    SetErrorDetail(buf);
}

// ---------------------------------------------------------------------------
// Metamethod calls

static void callTMres(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2, TObject *res) {
    if (L->stack_last - L->top <= 3) luaD_growstack(L, 3);
    TObject fc = *f, a = *p1, b = *p2;
    setobj(L->top, &fc);
    setobj(L->top + 1, &a);
    setobj(L->top + 2, &b);
    L->top += 3;
    luaD_call(L, L->top - 3, 1);
    L->top--;
    setobj(res, L->top);
}

static void callTM(lua_State *L, const TObject *f, const TObject *p1, const TObject *p2, const TObject *p3) {
    if (L->stack_last - L->top <= 4) luaD_growstack(L, 4);
    TObject fc = *f, a = *p1, b = *p2, c = *p3;
    setobj(L->top, &fc);
    setobj(L->top + 1, &a);
    setobj(L->top + 2, &b);
    setobj(L->top + 3, &c);
    L->top += 4;
    luaD_call(L, L->top - 4, 0);
}

static int call_binTM(lua_State *L, const TObject *p1, const TObject *p2, StkId res, TMS event) {
    const TObject *tm = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm)) tm = luaT_gettmbyobj(L, p2, event);
    if (!ttisfunction(tm)) return 0;
    callTMres(L, tm, p1, p2, res);
    return 1;
}

static const TObject *get_compTM(lua_State *L, Table *mt1, Table *mt2, TMS event) {
    const TObject *tm1 = fasttm(L, mt1, event);
    if (tm1 == nullptr) return nullptr;
    if (mt1 == mt2) return tm1;
    const TObject *tm2 = fasttm(L, mt2, event);
    if (tm2 == nullptr) return nullptr;
    if (luaO_rawequalObj(tm1, tm2)) return tm1;
    return nullptr;
}

// -1 when neither operand has the (same) metamethod.
static int call_orderTM(lua_State *L, const TObject *p1, const TObject *p2, TMS event) {
    const TObject *tm1 = luaT_gettmbyobj(L, p1, event);
    if (ttisnil(tm1)) return -1;
    const TObject *tm2 = luaT_gettmbyobj(L, p2, event);
    if (!luaO_rawequalObj(tm1, tm2)) return -1;
    TObject res;
    callTMres(L, tm1, p1, p2, &res);
    return !l_isfalse(&res);
}

// ---------------------------------------------------------------------------
// Tables

void luaV_gettable(lua_State *L, const TObject *t, TObject *key, StkId res) {
    const TObject *orig = t;
    TObject tcopy = *t, kcopy = *key;
    t = &tcopy;
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TObject *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            const TObject *v = luaH_get(h, &kcopy);
            if (!ttisnil(v)) {
                setobj(res, v);
                return;
            }
            tm = fasttm(L, h->metatable, TM_INDEX);
            if (tm == nullptr) {
                setnilvalue(res);
                return;
            }
        } else {
            tm = luaT_gettmbyobj(L, t, TM_INDEX);
            if (ttisnil(tm)) {
                SetErrorDetail(nameOfRegister(L, orig));
                luaG_runerror(L, ERR_TABLEDECLA);
            }
        }
        if (ttisfunction(tm)) {
            callTMres(L, tm, t, &kcopy, res);
            return;
        }
        tcopy = *tm;
    }
    luaG_runerror(L, ERR_TABLEDECLA);
}

void luaV_settable(lua_State *L, const TObject *t, TObject *key, StkId val) {
    TObject tcopy = *t;
    t = &tcopy;
    for (int loop = 0; loop < MAXTAGLOOP; loop++) {
        const TObject *tm;
        if (ttistable(t)) {
            Table *h = hvalue(t);
            const TObject *oldval = luaH_get(h, key);
            if (!ttisnil(oldval)) {
                setobj(const_cast<TObject *>(oldval), val);
                return;
            }
            tm = fasttm(L, h->metatable, TM_NEWINDEX);
            if (tm == nullptr) {
                TObject v = *val;
                // a slot that exists with nil is reused, else a new key
                TObject *slot = oldval != &luaO_nilobject ? const_cast<TObject *>(oldval) : luaH_setnew(L, h, key);
                h->flags = 0;
                setobj(slot, &v);
                return;
            }
        } else {
            tm = luaT_gettmbyobj(L, t, TM_NEWINDEX);
            if (ttisnil(tm)) {
                SetErrorDetail("?");
                luaG_runerror(L, ERR_TABLEDECLA);
            }
        }
        if (ttisfunction(tm)) {
            callTM(L, tm, t, key, val);
            return;
        }
        tcopy = *tm;
    }
    luaG_runerror(L, ERR_TABLEDECLA);
}

// A field that the raw lookup did not find: "__index", or nil / an error.
const TObject *luaV_index(lua_State *L, const TObject *t, TObject *key, int loop) {
    (void)loop;
    const TObject *tm = fasttm(L, hvalue(t)->metatable, TM_INDEX);
    return tm ? tm : &luaO_nilobject;
}

static void getfield_missing(lua_State *L, const TObject *t, TObject *key, StkId res, bool raise) {
    const TObject *tm = luaV_index(L, t, key, 0);
    if (ttisnil(tm)) {
        if (raise) {
            setKeyDetail(key);
            luaG_runerror(L, ERR_FIELDINIT);
        }
        setnilvalue(res);
        return;
    }
    TObject tmc = *tm, kc = *key;
    if (ttisfunction(&tmc))
        callTMres(L, &tmc, t, &kc, res);
    else
        luaV_gettable(L, &tmc, &kc, res);
}

// ---------------------------------------------------------------------------
// Arithmetic

static inline lua_Number arith_op(lua_State *L, TMS op, lua_Number x, lua_Number y) {
    switch (op) {
    case TM_ADD: return x + y;
    case TM_SUB: return x - y;
    case TM_MUL: return x * y;
    case TM_DIV:
        if (y == 0) luaG_runerror(L, ERR_ZERODIVISION);
        return x / y;
    case TM_DIVINT: {
        int64_t a = luaV_toint32(x), b = luaV_toint32(y);
        if (b == 0) luaG_runerror(L, ERR_ZERODIVISION);
        return static_cast<lua_Number>(a / b);
    }
    case TM_MOD: {
        int64_t a = luaV_toint32(x), b = luaV_toint32(y);
        if (b == 0) luaG_runerror(L, ERR_ZERODIVISION);
        return static_cast<lua_Number>(a % b);
    }
    case TM_LSH: {
        uint32_t c = static_cast<uint32_t>(luaV_toint32(y)) & 0xFF;
        return c >= 32 ? 0 : static_cast<lua_Number>(luaV_touint32(x) << c);
    }
    case TM_RSH: {
        uint32_t c = static_cast<uint32_t>(luaV_toint32(y)) & 0xFF;
        return c >= 32 ? 0 : static_cast<lua_Number>(luaV_touint32(x) >> c);
    }
    case TM_OR: return static_cast<lua_Number>(luaV_touint32(x) | luaV_touint32(y));
    case TM_AND: return static_cast<lua_Number>(luaV_touint32(x) & luaV_touint32(y));
    case TM_XOR: return static_cast<lua_Number>(luaV_touint32(x) ^ luaV_touint32(y));
    case TM_POW: return pow(x, y);
    default: return 0;
    }
}

void luaV_arith(lua_State *L, StkId ra, const TObject *rb, const TObject *rc, TMS op) {
    TObject tempb, tempc;
    const TObject *b, *c;
    if ((b = luaV_tonumber(rb, &tempb)) != nullptr && (c = luaV_tonumber(rc, &tempc)) != nullptr) {
        setnvalue(ra, arith_op(L, op, nvalue(b), nvalue(c)));
        return;
    }
    TObject bc = *rb, cc = *rc;
    if (!call_binTM(L, &bc, &cc, ra, op)) luaG_runerror(L, ERR_WRONGOP);
}

static void unary_op(lua_State *L, StkId ra, const TObject *rb, TMS op) {
    TObject temp;
    const TObject *b = luaV_tonumber(rb, &temp);
    if (b) {
        lua_Number n = nvalue(b);
        if (op == TM_UNM)
            setnvalue(ra, -n);
        else
            setnvalue(ra, static_cast<lua_Number>(~luaV_touint32(n)));
        return;
    }
    TObject bc = *rb;
    if (!call_binTM(L, &bc, &luaO_nilobject, ra, op)) luaG_runerror(L, ERR_WRONGOP);
}

// ---------------------------------------------------------------------------
// Ordering and equality

int luaV_lessthan(lua_State *L, const TObject *l, const TObject *r, int strmode) {
    int tl = ttype(l), tr = ttype(r);
    if (tl == LUA_TNUMBER && tr == LUA_TNUMBER) return nvalue(l) < nvalue(r);
    if (tl == LUA_TSTRING && tr == LUA_TSTRING) {
        if (strmode) return CompareStrings(svalue(l), svalue(r), 1) < 0;
        return l_strcmp(tsvalue(l), tsvalue(r)) < 0;
    }
    if ((tl == LUA_TNIL || tl == LUA_TNUMBER) && (tr == LUA_TNIL || tr == LUA_TNUMBER)) {
        lua_Number a = tl == LUA_TNIL ? 0 : nvalue(l);
        lua_Number b = tr == LUA_TNIL ? 0 : nvalue(r);
        return a < b;
    }
    if ((tl == LUA_TNIL && tr == LUA_TSTRING) || (tl == LUA_TSTRING && tr == LUA_TNIL)) return 0;
    if ((tl == LUA_TNUMBER && tr == LUA_TSTRING) || (tl == LUA_TSTRING && tr == LUA_TNUMBER))
        luaG_runerror(L, ERR_NUMSTRCMP);
    if (tl == tr) {
        TObject a = *l, b = *r;
        int res = call_orderTM(L, &a, &b, TM_LT);
        if (res != -1) return res;
    }
    luaG_runerror(L, ERR_WRONGOP);
}

int luaV_lessequal(lua_State *L, const TObject *l, const TObject *r) {
    int tl = ttype(l), tr = ttype(r);
    if (tl == LUA_TNUMBER && tr == LUA_TNUMBER) return nvalue(l) <= nvalue(r);
    if (tl == LUA_TSTRING && tr == LUA_TSTRING) return l_strcmp(tsvalue(l), tsvalue(r)) <= 0;
    if ((tl == LUA_TNIL || tl == LUA_TNUMBER) && (tr == LUA_TNIL || tr == LUA_TNUMBER)) {
        lua_Number a = tl == LUA_TNIL ? 0 : nvalue(l);
        lua_Number b = tr == LUA_TNIL ? 0 : nvalue(r);
        return a <= b;
    }
    if ((tl == LUA_TNIL && tr == LUA_TSTRING) || (tl == LUA_TSTRING && tr == LUA_TNIL)) return 0;
    if ((tl == LUA_TNUMBER && tr == LUA_TSTRING) || (tl == LUA_TSTRING && tr == LUA_TNUMBER))
        luaG_runerror(L, ERR_NUMSTRCMP);
    if (tl == tr) {
        TObject a = *l, b = *r;
        int res = call_orderTM(L, &a, &b, TM_LE);
        if (res != -1) return res;
        res = call_orderTM(L, &b, &a, TM_LT);
        if (res != -1) return !res;
    }
    luaG_runerror(L, ERR_WRONGOP);
}

int luaV_equalval(lua_State *L, const TObject *t1, const TObject *t2) {
    const TObject *tm;
    switch (ttype(t1)) {
    case LUA_TNIL: return 1;
    case LUA_TNUMBER: return nvalue(t1) == nvalue(t2);
    case LUA_TBOOLEAN: return bvalue(t1) == bvalue(t2);
    case LUA_TLIGHTUSERDATA: return pvalue(t1) == pvalue(t2);
    case LUA_TUSERDATA:
        if (uvalue(t1) == uvalue(t2)) return 1;
        tm = get_compTM(L, uvalue(t1)->metatable, uvalue(t2)->metatable, TM_EQ);
        break;
    case LUA_TTABLE:
        if (hvalue(t1) == hvalue(t2)) return 1;
        tm = get_compTM(L, hvalue(t1)->metatable, hvalue(t2)->metatable, TM_EQ);
        break;
    default: return gcvalue(t1) == gcvalue(t2);
    }
    if (tm == nullptr) return 0;
    TObject res, a = *t1, b = *t2, f = *tm;
    callTMres(L, &f, &a, &b, &res);
    return !l_isfalse(&res);
}

// ---------------------------------------------------------------------------
// Concatenation

static inline bool isstrnum(const TObject *o) { return ttisstring(o) || ttisnumber(o); }

void luaV_concat(lua_State *L, int total, int last) {
    std::string &nums = G(L)->concatbuf; // number texts of one run, end to end
    do {
        StkId top = L->base + last + 1;
        int n = 2;
        if (!isstrnum(top - 2) || !isstrnum(top - 1)) {
            if (!call_binTM(L, top - 2, top - 1, top - 2, TM_CONCAT)) luaG_runerror(L, ERR_CONCAT);
        } else {
            // as many strings and numbers as there are, in one piece: the
            // length first, then the bytes straight into the new string
            while (n < total && isstrnum(top - n - 1)) n++;
            nums.clear();
            uint8_t numlen[MAXSTACK + 1]; // operands are registers: fewer than MAXSTACK
            int numbers = 0;
            size_t len = 0;
            for (int j = n; j > 0; j--) {
                const TObject *o = top - j;
                if (ttisstring(o)) {
                    len += tsvalue(o)->len;
                } else {
                    char num[48];
                    const size_t l = luaO_num2str(nvalue(o), num);
                    nums.append(num, l);
                    numlen[numbers++] = static_cast<uint8_t>(l);
                    len += l;
                }
            }
            TString *ts = luaS_newbuilt(L, len);
            char *out = ts->str();
            const char *numtext = nums.data();
            numbers = 0;
            for (int j = n; j > 0; j--) {
                const TObject *o = top - j;
                if (ttisstring(o)) {
                    memcpy(out, svalue(o), tsvalue(o)->len);
                    out += tsvalue(o)->len;
                } else {
                    const size_t l = numlen[numbers++];
                    memcpy(out, numtext, l);
                    numtext += l;
                    out += l;
                }
            }
            setsvalue(top - n, luaS_internbuilt(L, ts));
        }
        total -= n - 1;
        last -= n - 1;
    } while (total > 1);
}

// ---------------------------------------------------------------------------
// Tracing: stop flag, count and line hooks

static void traceexec(lua_State *L, const Instruction *pc) {
    CallInfo *ci = L->ci;
    if (G(L)->stop.load(std::memory_order_relaxed)) luaG_runerror(L, ERR_USERABORT);
    uint8_t mask = L->hookmask;
    if ((mask & LUA_MASKCOUNT) && L->basehookcount > 0) {
        if (--L->hookcount <= 0) {
            L->hookcount = L->basehookcount;
            luaD_callhook(L, LUA_HOOKCOUNT, -1);
        }
    }
    if (mask & LUA_MASKLINE) {
        const Proto *p = ci_lfunc(ci)->p;
        int newline = luaG_getline(p, static_cast<int>(pc - p->code));
        const Instruction *last = ci->hookpc;
        int lastline = ci->hookline;
        ci->hookpc = pc;
        ci->hookline = newline;
        // Behind a gate the hook runs wherever the open gate is seen (a jump,
        // a call, a return), whatever the line; it returns at once when shut.
        if (G(L)->hookgate || last == nullptr || pc <= last || newline != lastline) luaD_linehook(L, newline);
    }
}

// ---------------------------------------------------------------------------
// The interpreter

// Operands as byte offsets: the shift that extracts a field also scales it
// by the size of a value (one shift and one mask per operand, no multiply).
static_assert(sizeof(TObject) == 16, "operand scaling assumes 16-byte values");
static inline size_t offA(Instruction i) { return size_t(i >> POS_A) << 4; }
static inline size_t offB(Instruction i) { return (i >> (POS_B - 4)) & (size_t(MAXARG_B) << 4); }
static inline size_t offC(Instruction i) { return (i >> (POS_C - 4)) & (size_t(MAXARG_C) << 4); }
static inline size_t offBx(Instruction i) { return (i >> (POS_Bx - 4)) & (size_t(MAXARG_Bx) << 4); }
static inline TObject *at(TObject *p, size_t off) {
    return reinterpret_cast<TObject *>(reinterpret_cast<char *>(p) + off);
}
constexpr size_t kOffK = size_t(MAXSTACK) << 4; // RK offsets from here name constants

#define RA(i) at(base, offA(i))
#define RB(i) at(base, offB(i))
#define RC(i) at(base, offC(i))
#define RKB(i) (offB(i) >= kOffK ? at(k - MAXSTACK, offB(i)) : at(base, offB(i)))
#define RKC(i) (offC(i) >= kOffK ? at(k - MAXSTACK, offC(i)) : at(base, offC(i)))
#define KBx(i) at(k, offBx(i))
#define savepc() (ci->savedpc = pc)
// The trap word (hooks, stop flag, the hook's gate) is read into a local at
// every jump, frame entry and call-out: nothing loops or calls without seeing
// a change. The plain interpreter does not test it per instruction: while it
// is set, dispatch goes through a table whose every entry leads to the trace
// point.
// An open gate of a gated line hook counts as a trap reason (8).
// The plain interpreter only needs to know whether there is a reason; the
// trace point reads the reasons again.
static inline int readtrap(lua_State *L) {
    return L->trap.load(std::memory_order_relaxed) | (__atomic_load_n(L->gateword, __ATOMIC_RELAXED) != 0 ? 8 : 0);
}
static inline bool anytrap(lua_State *L) {
    return (L->trap.load(std::memory_order_relaxed) | __atomic_load_n(L->gateword, __ATOMIC_RELAXED)) != 0;
}
#define updatetrap()                                                                 \
    (Traced ? (void)(trap = readtrap(L), disp = disptab)                             \
            : (void)(disp = anytrap(L) ? traptab : disptab))
#define dojumpnext() (pc += GETARG_JOFF(*pc) + 1, updatetrap())

// Untraced: the dispatch table does the trap check. Traced (the line hook
// alone): the line check inline, so that instructions on the same line cost
// little.
#define vmfetch()                                                                    \
    do {                                                                             \
        if constexpr (Traced) {                                                      \
            if (__builtin_expect(trap != 1 || li == nullptr, 0)) goto tracepoint;   \
            if (__builtin_expect(li[pc - code] != ci->hookline || pc <= ci->hookpc, 0)) \
                goto lineevent;                                                      \
            ci->hookpc = pc;                                                         \
        }                                                                            \
        i = *pc++;                                                                   \
        goto *disp[GET_OPCODE(i)];                                                   \
    } while (0)

// R(A) = rb op rc for numbers, else through the metamethods. ARITH decodes
// both operands; the internal forms name B as a register and C as a
// register (RR) or a constant (RK).
#define ARITHWITH(op, event, rbexpr, rcexpr)                                         \
    {                                                                                \
        StkId ra = RA(i);                                                            \
        const TObject *rb = (rbexpr), *rc = (rcexpr);                                \
        if (__builtin_expect(ttisnumber(rb) && ttisnumber(rc), 1)) {                 \
            setnvalue(ra, nvalue(rb) op nvalue(rc));                                 \
        } else {                                                                     \
            savepc();                                                                \
            luaV_arith(L, ra, rb, rc, event);                                        \
            updatetrap();                                                            \
        }                                                                            \
        vmfetch();                                                                   \
    }
#define ARITH(op, event) ARITHWITH(op, event, RKB(i), RKC(i))
#define ARITHX(op, event, rcexpr) ARITHWITH(op, event, RB(i), rcexpr)
#define KC(i) at(k - MAXSTACK, offC(i))
// R(A) = rb[rc]: `lookup` finds the slot when rb is a table; a nil slot
// takes the missing-field path (metatables, then error 1159).
#define TABLE_READ(lookup)                                                           \
    do {                                                                             \
        if (__builtin_expect(ttistable(rb), 1)) {                                    \
            const TObject *v = (lookup);                                             \
            if (__builtin_expect(!ttisnil(v), 1)) {                                  \
                setobj(ra, v);                                                       \
            } else {                                                                 \
                savepc();                                                            \
                TObject t = *rb;                                                     \
                getfield_missing(L, &t, rc, ra, true); updatetrap();                 \
            }                                                                        \
        } else {                                                                     \
            savepc();                                                                \
            luaV_gettable(L, rb, rc, ra); updatetrap();                              \
        }                                                                            \
        vmfetch();                                                                   \
    } while (0)

// The slot of key rc in h (the nil object when absent), with the array part
// and string keys first.
static inline const TObject *quickget(Table *h, const TObject *rc) {
    if (ttisnumber(rc)) {
        if (const TObject *slot = luaH_arrayslot(h, nvalue(rc))) return slot;
        return luaH_get(h, rc);
    }
    if (ttisstring(rc)) return luaH_getstr(h, tsvalue(rc));
    return luaH_get(h, rc);
}
#define KB(i) at(k - MAXSTACK, offB(i))

#define ARITHF(event)                                                                \
    {                                                                                \
        StkId ra = RA(i);                                                            \
        const TObject *rb = RKB(i), *rc = RKC(i);                                    \
        savepc();                                                                    \
        if (ttisnumber(rb) && ttisnumber(rc))                                        \
            setnvalue(ra, arith_op(L, event, nvalue(rb), nvalue(rc)));               \
        else {                                                                       \
            luaV_arith(L, ra, rb, rc, event);                                        \
            updatetrap();                                                            \
        }                                                                            \
        vmfetch();                                                                   \
    }

// Records the call instruction just taken (before pc) for lua_getcallinstr:
// two stores, the index is worked out only when asked for.
static inline void notecall(lua_State *L, const Instruction *pc, const Proto *p) {
    global_State *g = G(L);
    g->callpc = pc;
    g->callcode = p->code;
}

// A comparison: the next instruction (a jump) is taken when the result is
// A, else skipped. The internal forms name B as a register and C as a
// register (RR) or a constant (RK).
#define CONDJUMP(res)                                                                \
    {                                                                                \
        if ((res) != GETARG_A(i))                                                    \
            pc++;                                                                    \
        else                                                                         \
            dojumpnext();                                                            \
        vmfetch();                                                                   \
    }
#define EQUALWITH(rbexpr, rcexpr)                                                    \
    {                                                                                \
        const TObject *rb = (rbexpr), *rc = (rcexpr);                                \
        int res;                                                                     \
        if (ttype(rb) != ttype(rc)) {                                                \
            res = 0;                                                                 \
        } else if (ttisnumber(rb)) {                                                 \
            res = nvalue(rb) == nvalue(rc);                                          \
        } else {                                                                     \
            savepc();                                                                \
            res = luaV_equalval(L, rb, rc);                                          \
            updatetrap();                                                            \
        }                                                                            \
        CONDJUMP(res)                                                                \
    }
#define ORDERWITH(op, slowcall, rbexpr, rcexpr)                                      \
    {                                                                                \
        const TObject *rb = (rbexpr), *rc = (rcexpr);                                \
        int res;                                                                     \
        if (__builtin_expect(ttisnumber(rb) && ttisnumber(rc), 1)) {                 \
            res = nvalue(rb) op nvalue(rc);                                          \
        } else {                                                                     \
            savepc();                                                                \
            res = (slowcall);                                                        \
            updatetrap();                                                            \
        }                                                                            \
        CONDJUMP(res)                                                                \
    }

static void gosubpush(lua_State *L, const Instruction *pos, const Proto *owner, int level) {
    global_State *g = G(L);
    if (g->ngosub >= LUAI_GOSUBSIZE) luaG_runerror(L, ERR_INTERNAL);
    g->gosub[g->ngosub++] = GosubEntry{pos, owner, level};
}

// Gosub entries belong to the frame that pushed them: they go when it
// returns or is replaced by a tail call, so that no later frame (another
// chunk's code at the same address and level) can return through them.
static inline void gosubdrop(lua_State *L, const CallInfo *ci) {
    global_State *g = G(L);
    if (__builtin_expect(g->ngosub == 0, 1)) return;
    const int level = ci_level(L, ci);
    while (g->ngosub > 0 && g->gosub[g->ngosub - 1].level >= level) g->ngosub--;
}

namespace {

enum { VM_DONE, VM_SWITCH };

// Runs until the fresh frame returns (VM_DONE), or until the trap word asks
// for the other variant (VM_SWITCH, with the position saved in the frame).
template <bool Traced>
int execute(lua_State *L) {
    static const void *const disptab[64] = {
        &&L_MOVE, &&L_LOADK, &&L_LOADBOOL, &&L_LOADNIL, &&L_GETUPVAL, &&L_GETGLOBAL, &&L_GETTABLE,
        &&L_SETGLOBAL, &&L_SETUPVAL, &&L_SETTABLE, &&L_NEWTABLE, &&L_ADD, &&L_SUB, &&L_MUL, &&L_DIV,
        &&L_IDIV, &&L_MOD, &&L_SHL, &&L_SHR, &&L_BOR, &&L_BAND, &&L_BXOR, &&L_POW, &&L_UNM, &&L_NOT,
        &&L_BNOT, &&L_CONCAT, &&L_JMP, &&L_EQ, &&L_LT, &&L_LE, &&L_TEST, &&L_CALL, &&L_TAILCALL,
        &&L_RETURN, &&L_FORLOOP, &&L_TFORLOOP, &&L_TFORPREP, &&L_SETLIST, &&L_SETLISTO, &&L_CLOSE,
        &&L_CLOSURE, &&L_SELF, &&L_CALL, &&L_TAILCALL,
        // internal opcodes (written by the loader)
        &&L_ADD_RR, &&L_ADD_RK, &&L_SUB_RR, &&L_SUB_RK, &&L_MUL_RR, &&L_MUL_RK, &&L_GETFIELD,
        &&L_SETFIELD, &&L_SELFK, &&L_GETINDEX, &&L_SETINDEX, &&L_EQ_RR, &&L_EQ_RK, &&L_LT_RR, &&L_LT_RK,
        &&L_LE_RR, &&L_LE_RK, &&L_RETURNN, &&L_NOP};
    static_assert(OPX_FIRST_FREE == 63 && OPX_NOP == 63, "dispatch table and internal opcodes disagree");
#define T8 &&L_TRAP, &&L_TRAP, &&L_TRAP, &&L_TRAP, &&L_TRAP, &&L_TRAP, &&L_TRAP, &&L_TRAP
    static const void *const traptab[64] = {T8, T8, T8, T8, T8, T8, T8, T8};
#undef T8
    const void *const *disp;
    CallInfo *ci;
    LClosure *cl;
    TObject *k;
    StkId base;
    const Instruction *pc;
    Instruction i;
    StkId ra;
    int status;
    int trap = 0; // the reasons (traced; the plain interpreter reads them at the trace point)
    TObject *selfkey; // SELF's key, for the part both forms share
    const int *li = nullptr;            // line info of the running function (traced)
    const Instruction *code = nullptr;  // and its code
    (void)&&lineevent; // reached only when traced

newframe:
    ci = L->ci;
    cl = ci_lfunc(ci);
    k = cl->p->k;
    base = ci->base;
    pc = ci->savedpc;
    if constexpr (Traced) {
        li = cl->p->lineinfo;
        code = cl->p->code;
    }
    updatetrap();
    vmfetch();

tracepoint:
    // hooks or the stop flag, out of the way of the plain dispatch
    if constexpr (Traced) {
        if (trap == 0) {
            ci->savedpc = pc;
            return VM_SWITCH;
        }
    } else {
        trap = readtrap(L);
        if (trap == 1 && cl->p->lineinfo) {
            ci->savedpc = pc;
            return VM_SWITCH;
        }
    }
    ci->savedpc = pc + 1;
    traceexec(L, pc);
    updatetrap();
    i = *pc++;
    goto *disptab[GET_OPCODE(i)];

L_TRAP:
    // dispatched through the trap table: back to the instruction just taken
    pc--;
    goto tracepoint;

lineevent: {
    // a new line, or a jump backwards: the line hook runs
    int newline = li[pc - code];
    ci->hookline = newline;
    ci->hookpc = pc;
    ci->savedpc = pc + 1;
    lua_Hook hook = L->hook;
    if (hook && L->allowhook && L->stack_last - L->top > LUA_MINSTACK) {
        StkId top = L->top;
        lua_Debug &ar = L->hookar;
        ar.event = LUA_HOOKLINE;
        ar.currentline = newline;
        ar.i_ci = ci_level(L, ci);
        L->allowhook = 0;
        int hcode = 0;
        int stop = (*hook)(L, &ar, &hcode);
        L->allowhook = 1;
        L->top = top;
        const volatile unsigned int *abortflag = G(L)->abortflag;
        if (__builtin_expect(hcode != 0 || stop != 0 || (abortflag && *abortflag), 0))
            luaG_runerror(L, hcode != 0 ? hcode : ERR_USERABORT);
    } else {
        luaD_linehook(L, newline); // no hook now, or no stack left: the general path
    }
    updatetrap();
    i = *pc++;
    goto *disptab[GET_OPCODE(i)];
}

L_NOP:
    vmfetch();

L_MOVE:
    setobj(RA(i), RB(i));
    vmfetch();

L_LOADK:
    setobj(RA(i), KBx(i));
    vmfetch();

L_LOADBOOL:
    setnvalue(RA(i), GETARG_B(i));
    if (GETARG_C(i)) pc++;
    vmfetch();

L_LOADNIL: {
    StkId rb = RB(i);
    ra = RA(i);
    do {
        setnilvalue(rb--);
    } while (rb >= ra);
    vmfetch();
}

L_GETUPVAL:
    setobj(RA(i), (&cl->upvals[0])[GETARG_B(i)]->v);
    vmfetch();

L_GETGLOBAL: {
    TObject *rb = KBx(i);
    const TObject *v = luaH_getstr(cl->env, tsvalue(rb));
    if (!ttisnil(v)) {
        setobj(RA(i), v);
    } else {
        savepc();
        TObject g;
        sethvalue(&g, cl->env);
        luaV_gettable(L, &g, rb, RA(i)); updatetrap();
    }
    vmfetch();
}

L_GETTABLE: {
    StkId rb = RB(i);
    TObject *rc = RKC(i);
    ra = RA(i);
    TABLE_READ(quickget(hvalue(rb), rc));
}

L_GETINDEX: {
    // GETTABLE with the key in a register: array slots first
    StkId rb = RB(i);
    TObject *rc = RC(i);
    ra = RA(i);
    if (__builtin_expect(ttistable(rb) && ttisnumber(rc), 1)) {
        const Table *h = hvalue(rb);
        const unsigned index = luaH_arrayindex(h, nvalue(rc));
        if (__builtin_expect(luaH_inarray(h, index) && !ttisnil(&h->array[index]), 1)) {
            setobj(ra, &h->array[index]);
            vmfetch();
        }
    }
    TABLE_READ(quickget(hvalue(rb), rc));
}

L_SETGLOBAL: {
    savepc();
    TObject g;
    sethvalue(&g, cl->env);
    luaV_settable(L, &g, KBx(i), RA(i)); updatetrap();
    vmfetch();
}

L_SETUPVAL: {
    UpVal *uv = (&cl->upvals[0])[GETARG_B(i)];
    setobj(uv->v, RA(i));
    vmfetch();
}

L_SETTABLE:
settable: {
    ra = RA(i);
    TObject *rb = RKB(i);
    TObject *rc = RKC(i);
    if (ttistable(ra) && ttisstring(rb)) {
        TObject *slot = const_cast<TObject *>(luaH_getstr(hvalue(ra), tsvalue(rb)));
        if (!ttisnil(slot)) {
            setobj(slot, rc);
            vmfetch();
        }
    } else if (ttistable(ra) && ttisnumber(rb)) {
        Table *h = hvalue(ra);
        TObject *slot = luaH_arrayslot(h, nvalue(rb));
        if (slot && (!ttisnil(slot) || h->metatable == nullptr)) {
            setobj(slot, rc);
            vmfetch();
        }
    }
    savepc();
    luaV_settable(L, ra, rb, rc); updatetrap();
    vmfetch();
}

L_SETINDEX: {
    // SETTABLE with the key in a register: array slots first
    ra = RA(i);
    TObject *rb = RB(i);
    TObject *rc = RKC(i);
    if (__builtin_expect(ttistable(ra) && ttisnumber(rb), 1)) {
        Table *h = hvalue(ra);
        const unsigned index = luaH_arrayindex(h, nvalue(rb));
        if (__builtin_expect(luaH_inarray(h, index) && (!ttisnil(&h->array[index]) || h->metatable == nullptr), 1)) {
            setobj(&h->array[index], rc);
            vmfetch();
        }
    }
    goto settable;
}

L_GETFIELD: {
    // GETTABLE with a constant string key
    StkId rb = RB(i);
    TObject *rc = KC(i);
    ra = RA(i);
    TABLE_READ(luaH_getstr(hvalue(rb), tsvalue(rc)));
}

L_SETFIELD: {
    // SETTABLE with a constant string key
    ra = RA(i);
    TObject *rb = KB(i);
    TObject *rc = RKC(i);
    if (__builtin_expect(ttistable(ra), 1)) {
        TObject *slot = const_cast<TObject *>(luaH_getstr(hvalue(ra), tsvalue(rb)));
        if (__builtin_expect(!ttisnil(slot), 1)) {
            setobj(slot, rc);
            vmfetch();
        }
    }
    savepc();
    luaV_settable(L, ra, rb, rc); updatetrap();
    vmfetch();
}

L_NEWTABLE: {
    int b = GETARG_B(i);
    savepc();
    // The limit applies to the size the byte encodes, not to its exponent.
    const uint64_t size = uint64_t(b & 7) << (b >> 3);
    if (size > (uint64_t{1} << 24)) luaG_runerror(L, ERR_TABLEOVERFLOW);
    sethvalue(RA(i), luaH_new(L, int(size), GETARG_C(i)));
    luaC_checkGC(L); updatetrap();
    vmfetch();
}

L_ADD: ARITH(+, TM_ADD)
L_SUB: ARITH(-, TM_SUB)
L_MUL: ARITH(*, TM_MUL)
L_ADD_RR: ARITHX(+, TM_ADD, RC(i))
L_ADD_RK: ARITHX(+, TM_ADD, KC(i))
L_SUB_RR: ARITHX(-, TM_SUB, RC(i))
L_SUB_RK: ARITHX(-, TM_SUB, KC(i))
L_MUL_RR: ARITHX(*, TM_MUL, RC(i))
L_MUL_RK: ARITHX(*, TM_MUL, KC(i))
L_DIV: ARITHF(TM_DIV)
L_IDIV: ARITHF(TM_DIVINT)
L_MOD: ARITHF(TM_MOD)
L_SHL: ARITHF(TM_LSH)
L_SHR: ARITHF(TM_RSH)
L_BOR: ARITHF(TM_OR)
L_BAND: ARITHF(TM_AND)
L_BXOR: ARITHF(TM_XOR)
L_POW: ARITHF(TM_POW)

L_UNM: {
    StkId rb = RB(i);
    if (ttisnumber(rb)) {
        setnvalue(RA(i), -nvalue(rb));
    } else {
        savepc();
        unary_op(L, RA(i), rb, TM_UNM); updatetrap();
    }
    vmfetch();
}

L_NOT:
    setnvalue(RA(i), l_isfalse(RB(i)) ? 1 : 0);
    vmfetch();

L_BNOT: {
    StkId rb = RB(i);
    if (ttisnumber(rb)) {
        setnvalue(RA(i), static_cast<lua_Number>(~luaV_touint32(nvalue(rb))));
    } else {
        savepc();
        unary_op(L, RA(i), rb, TM_NOT); updatetrap();
    }
    vmfetch();
}

L_CONCAT: {
    int b = GETARG_B(i);
    int c = GETARG_C(i);
    savepc();
    luaV_concat(L, c - b + 1, c); updatetrap();
    setobj(RA(i), base + b);
    luaC_checkGC(L); updatetrap();
    vmfetch();
}

L_JMP:
    if (GETARG_JMODE(i) == JMP_GOSUB) {
        savepc();
        gosubpush(L, pc, cl->p, ci_level(L, ci));
    }
    pc += GETARG_JOFF(i);
    updatetrap();
    vmfetch();

L_EQ: EQUALWITH(RKB(i), RKC(i))
L_EQ_RR: EQUALWITH(RB(i), RC(i))
L_EQ_RK: EQUALWITH(RB(i), KC(i))
L_LT: ORDERWITH(<, luaV_lessthan(L, rb, rc, 1), RKB(i), RKC(i))
L_LT_RR: ORDERWITH(<, luaV_lessthan(L, rb, rc, 1), RB(i), RC(i))
L_LT_RK: ORDERWITH(<, luaV_lessthan(L, rb, rc, 1), RB(i), KC(i))
L_LE: ORDERWITH(<=, luaV_lessequal(L, rb, rc), RKB(i), RKC(i))
L_LE_RR: ORDERWITH(<=, luaV_lessequal(L, rb, rc), RB(i), RC(i))
L_LE_RK: ORDERWITH(<=, luaV_lessequal(L, rb, rc), RB(i), KC(i))

L_TEST: {
    StkId rb = RB(i);
    if (static_cast<int>(l_isfalse(rb)) == GETARG_C(i)) {
        pc++;
    } else {
        setobj(RA(i), rb);
        dojumpnext();
    }
    vmfetch();
}

L_CALL: {
    ra = RA(i);
    int b = GETARG_B(i);
    int nresults = GETARG_C(i) - 1;
    if (b != 0) L->top = ra + b;
    savepc();
    // B=0 takes the arguments up to the top an open call left; one that
    // returned nothing may leave it below the called register.
    if (b == 0 && L->top <= ra) luaG_runerror(L, ERR_BADBYTECODE);
    notecall(L, pc, cl->p);
    if (ttisfunction(ra) && !clvalue(ra)->isC) {
        // a script function: its frame is set up here
        LClosure *ncl = static_cast<LClosure *>(clvalue(ra));
        Proto *p = ncl->p;
        StkId nbase = ra + 1;
        if (!p->is_vararg && ci + 1 < L->end_ci && L->stack_last - nbase > p->maxstacksize + 2 &&
            !(L->hookmask & LUA_MASKCALL)) {
            if (L->top > nbase + p->numparams) L->top = nbase + p->numparams;
            CallInfo *nci = luaD_pushluaframe(L, ra, nbase, p, nresults);
            // enter the callee without reading back what was just written
            ci = nci;
            cl = ncl;
            k = p->k;
            base = nbase;
            pc = p->code;
            if constexpr (Traced) {
                li = p->lineinfo;
                code = p->code;
            }
            vmfetch();
        }
    } else if (!ttisfunction(ra) && !ttisfunction(luaT_gettmbyobj(L, ra, TM_CALL))) {
        SetErrorDetail(nameOfRegister(L, ra));
        luaG_runerror(L, ERR_FUNCDECLA);
    }
    if (luaD_precall(L, ra, nresults, GET_OPCODE(i) == OP_CALLC, &status)) goto newframe;
    updatetrap();
    if (status) goto gosubrequest;
    if (nresults >= 0) L->top = ci->top;
    vmfetch();
}

gosubrequest: {
    // A command asked for a gosub: push the return position (-1: after
    // the call, -2: the instruction before it) and jump by the offset word,
    // both checked against this function's code.
    const Proto *p = cl->p;
    int64_t callidx = static_cast<int64_t>(pc - p->code) - 1;
    int64_t retidx = status == -1 ? callidx + 1 : callidx - 1;
    int64_t target = callidx + 1 + static_cast<int64_t>(G(L)->jumpoffset);
    L->top = ci->top;
    if (retidx < 0 || retidx >= p->sizecode || target < 0 || target >= p->sizecode) luaG_runerror(L, ERR_FUNCJMP);
    gosubpush(L, p->code + retidx, p, ci_level(L, ci));
    pc = p->code + target;
    vmfetch();
}

L_TAILCALL: {
    ra = RA(i);
    int b = GETARG_B(i);
    if (b != 0) L->top = ra + b;
    savepc();
    // B=0 takes the arguments up to the top an open call left; one that
    // returned nothing may leave it below the called register.
    if (b == 0 && L->top <= ra) luaG_runerror(L, ERR_BADBYTECODE);
    notecall(L, pc, cl->p);
    if (!ttisfunction(ra) && !ttisfunction(luaT_gettmbyobj(L, ra, TM_CALL))) {
        SetErrorDetail(nameOfRegister(L, ra));
        luaG_runerror(L, ERR_FUNCDECLA);
    }
    if (luaD_precall(L, ra, LUA_MULTRET, GET_OPCODE(i) == OP_TAILCALLC, &status)) {
        // the callee's frame replaces the current one
        CallInfo *nci = L->ci;
        CallInfo *oci = nci - 1;
        if (luaF_anyopen(L, oci->base)) luaF_close(L, oci->base);
        StkId ofunc = oci->func, nfunc = nci->func;
        int aux;
        for (aux = 0; nfunc + aux < L->top; aux++) setobj(ofunc + aux, nfunc + aux);
        oci->base = ofunc + (nci->base - nfunc);
        oci->top = oci->base + (nci->top - nci->base);
        L->top = oci->top;
        oci->savedpc = nci->savedpc;
        oci->hookpc = nullptr;
        oci->hookline = INT_MIN;
        oci->tailcalls++;
        oci->flags = CIST_LUA | CIST_TAIL | (oci->flags & CIST_FRESH);
        gosubdrop(L, oci);
        L->ci = oci;
        L->base = oci->base;
        goto newframe;
    }
    updatetrap();
    if (status) goto gosubrequest;
    // a command: return its results
    goto doreturn;
}

L_RETURN: {
    ra = RA(i);
    if (GETARG_C(i) == 1) {
        global_State *g = G(L);
        savepc();
        if (g->ngosub == 0) luaG_runerror(L, ERR_RETWOGOSUB);
        const GosubEntry &e = g->gosub[g->ngosub - 1];
        if (e.owner != cl->p || e.level != ci_level(L, ci)) luaG_runerror(L, ERR_RETWOGOSUB);
        g->ngosub--;
        pc = e.pc;
        vmfetch();
    }
    int b = GETARG_B(i);
    if (b != 0) L->top = ra + b - 1;
    goto doreturn;
}

L_RETURNN: {
    // a fixed count of values to a script function that wants a fixed
    // count: straight back into it
    ra = RA(i);
    if (luaF_anyopen(L, base)) luaF_close(L, base);
    gosubdrop(L, ci);
    const int wanted = ci->nresults;
    if (__builtin_expect((ci->flags & CIST_FRESH) || (L->hookmask & LUA_MASKRET), 0)) {
        L->top = ra + GETARG_B(i) - 1;
        goto doreturn;
    }
    StkId res = ci->func;
    if (__builtin_expect(wanted == 1 && GETARG_B(i) == 2, 1)) {
        setobj(res, ra); // the common case: one value, one wanted
    } else if (wanted >= 0) {
        const int n = GETARG_B(i) - 1;
        for (int j = 0; j < wanted; j++) {
            if (j < n) setobj(res + j, ra + j);
            else setnilvalue(res + j);
        }
    } else {
        L->top = ra + GETARG_B(i) - 1;
        goto doreturn;
    }
    L->ci = --ci;
    L->base = base = ci->base;
    L->top = ci->top;
    cl = ci_lfunc(ci);
    k = cl->p->k;
    pc = ci->savedpc;
    if constexpr (Traced) {
        li = cl->p->lineinfo;
        code = cl->p->code;
    }
    updatetrap();
    vmfetch();
}

doreturn: {
    if (luaF_anyopen(L, base)) luaF_close(L, base);
    gosubdrop(L, ci);
    if (L->hookmask & LUA_MASKRET) {
        savepc();
        luaD_callhook(L, LUA_HOOKRET, -1);
    }
    int fresh = ci->flags & CIST_FRESH;
    int wanted = ci->nresults;
    StkId res = ci->func;
    L->ci = ci - 1;
    L->base = L->ci->base;
    if (wanted == 0 && !fresh) {
        // a call for its effect, from a script function
        L->top = L->ci->top;
        goto newframe;
    }
    if (wanted == 1) {
        // the common case: one value wanted
        if (ra < L->top) setobj(res, ra);
        else setnilvalue(res);
        if (fresh) {
            L->top = res + 1;
            return VM_DONE;
        }
        L->top = L->ci->top;
        goto newframe;
    }
    if (wanted == LUA_MULTRET) {
        for (StkId src = ra; src < L->top;) setobj(res++, src++);
        L->top = res;
    } else {
        int avail = static_cast<int>(L->top - ra);
        int j = 0;
        for (; j < wanted && j < avail; j++) setobj(res + j, ra + j);
        for (; j < wanted; j++) setnilvalue(res + j);
        L->top = res + wanted;
    }
    if (fresh) return VM_DONE;
    if (wanted != LUA_MULTRET) L->top = L->ci->top;
    goto newframe;
}

L_FORLOOP: {
    ra = RA(i);
    if (__builtin_expect(ttisnumber(ra) && ttisnumber(ra + 1) && ttisnumber(ra + 2), 1)) {
        lua_Number step = nvalue(ra + 2);
        lua_Number idx = nvalue(ra) + step;
        lua_Number limit = nvalue(ra + 1);
        if (__builtin_expect(step > 0 ? idx <= limit : idx >= limit, 1)) {
            pc += GETARG_sBx(i);
            ra->value.n = idx; // still a number
            updatetrap();
        }
        vmfetch();
    }
    savepc();
    TObject t1, t2;
    const TObject *plimit = luaV_tonumber(ra + 1, &t1);
    const TObject *pstep = luaV_tonumber(ra + 2, &t2);
    if (!ttisnumber(ra) || !plimit || !pstep) luaG_runerror(L, ERR_VALUEEXPECTED);
    setnvalue(ra + 1, nvalue(plimit));
    setnvalue(ra + 2, nvalue(pstep));
    lua_Number step = nvalue(ra + 2);
    lua_Number idx = nvalue(ra) + step;
    if (step > 0 ? idx <= nvalue(ra + 1) : idx >= nvalue(ra + 1)) {
        pc += GETARG_sBx(i);
        setnvalue(ra, idx);
        updatetrap();
    }
    vmfetch();
}

L_TFORLOOP: {
    ra = RA(i);
    int nvar = GETARG_C(i) + 1;
    StkId cb = ra + nvar + 2;
    setobj(cb, ra);
    setobj(cb + 1, ra + 1);
    setobj(cb + 2, ra + 2);
    L->top = cb + 3;
    savepc();
    luaD_call(L, cb, nvar); updatetrap();
    L->top = ci->top;
    StkId dst = ra + 2;
    cb = dst + nvar;
    do {
        nvar--;
        setobj(dst + nvar, cb + nvar);
    } while (nvar > 0);
    if (ttisnil(dst))
        pc++;
    else
        dojumpnext();
    vmfetch();
}

L_TFORPREP: {
    ra = RA(i);
    if (ttistable(ra)) {
        setobj(ra + 1, ra);
        savepc();
        setobj(ra, luaH_getstr(cl->env, luaS_new(L, "next")));
    }
    pc += GETARG_sBx(i);
    vmfetch();
}

L_SETLIST:
L_SETLISTO: {
    ra = RA(i);
    savepc();
    if (!ttistable(ra)) luaG_runerror(L, ERR_BADBYTECODE);
    Table *h = hvalue(ra);
    int bc = GETARG_Bx(i);
    int n;
    if (GET_OPCODE(i) == OP_SETLIST) {
        n = (bc & (LFIELDS_PER_FLUSH - 1)) + 1;
    } else {
        n = static_cast<int>(L->top - ra) - 1;
        L->top = ci->top;
    }
    bc &= ~(LFIELDS_PER_FLUSH - 1);
    for (; n > 0; n--) setobj(luaH_setnum(L, h, bc + n), ra + n);
    vmfetch();
}

L_CLOSE:
    luaF_close(L, RA(i));
    vmfetch();

L_CLOSURE: {
    Proto *p = cl->p->p[GETARG_Bx(i)];
    int nup = p->nups;
    savepc();
    LClosure *ncl = luaF_newLclosure(L, nup, cl->env);
    ncl->p = p;
    for (int j = 0; j < nup; j++, pc++) {
        if (GET_OPCODE(*pc) == OP_GETUPVAL)
            (&ncl->upvals[0])[j] = (&cl->upvals[0])[GETARG_B(*pc)];
        else
            (&ncl->upvals[0])[j] = luaF_findupval(L, base + GETARG_B(*pc));
    }
    setclvalue(RA(i), ncl);
    savepc();
    luaC_checkGC(L); updatetrap();
    vmfetch();
}

L_SELFK:
    // SELF with a constant (string) key
    selfkey = KC(i);
    goto doself;

L_SELF:
    selfkey = RKC(i);
    if (!ttisstring(selfkey)) {
        savepc();
        luaG_runerror(L, ERR_BADBYTECODE);
    }
doself: {
    StkId rb = RB(i);
    TObject *rc = selfkey;
    ra = RA(i);
    TObject obj = *rb;
    setobj(ra + 1, &obj);
    if (__builtin_expect(ttistable(&obj), 1)) {
        const TObject *v = luaH_getstr(hvalue(&obj), tsvalue(rc));
        if (__builtin_expect(!ttisnil(v), 1)) {
            setobj(ra, v);
        } else {
            savepc();
            getfield_missing(L, &obj, rc, ra, false); updatetrap();
        }
    } else {
        savepc();
        luaV_gettable(L, &obj, rc, ra); updatetrap();
    }
    vmfetch();
}
}

} // namespace

void luaV_execute(lua_State *L) {
    bool traced = L->trap.load(std::memory_order_relaxed) == 1;
    for (;;) {
        int r = traced ? execute<true>(L) : execute<false>(L);
        if (r == VM_DONE) return;
        traced = !traced;
    }
}
