// DownloadFile and UploadFile: one routine, TransferUrl, speaks HTTP/1.1
// and FTP on top of the connection engine. Every connection, file and
// buffer is owned by a guard, so each error path releases all of it.
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "engine/runtime/base64.h"
#include "engine/runtime/runtime.h"
#include "io/net/net_commands.h"
#include "io/net/net_connection.h"
#include "io/net/net_replies.h"
#include "io/net/url_parts.h"
#include "platform/os_socket.h"
#include "platform/os_time.h"
#include "streams/stream.h"

namespace {

const char kAnonymousPassword[] = "player@calyxtone.invalid";
const int kMaxRedirects = 5;
// The most a response head may hold (status lines and headers).
const size_t kMaxHead = 100 * 1024;
// Error numbers: 1418 for a response head (or a line of it) that is too
// long, 1421 for an FTP reply line that is.
const int kHeadTooLong = 1004;
const int kFtpLineTooLong = 3;
// The most memory reserved for a body at once on the strength of its
// announced length.
const long long kMaxReserve = 64ll << 20;

struct ConnectionCloser {
    void operator()(cxConnection *c) const { FreeConnection(c); }
};
using ConnectionPtr = std::unique_ptr<cxConnection, ConnectionCloser>;

struct StreamCloser {
    void operator()(cxStream *s) const { CloseFileStream(s); }
};
using StreamPtr = std::unique_ptr<cxStream, StreamCloser>;

// The download file: written beside the old one, which it replaces only
// when the transfer ends well (CloseFileStream); dropped otherwise.
struct StreamDiscarder {
    void operator()(cxStream *s) const { DiscardFileStream(s); }
};
using OutputPtr = std::unique_ptr<cxStream, StreamDiscarder>;

struct FormPart {
    std::string name;
    std::string data;
    std::string file;
    std::string mimeType;
    std::string alias;
    bool isFile = false;
    uint64_t size = 0;
};

struct Options {
    bool upload = false;
    int transferMode = 105;
    bool hasFile = false;
    std::string file;
    int encoded = 0;
    int protocol = 0;
    int ssl = 0;
    char adapter[256] = "";
    std::string proxy;
    int silentFail = 0;
    bool hasCustomHeaders = false;
    std::string customHeaders;
    int fail404 = 0;
    int redirect = 1;
    bool hasPost = false;
    std::string post;
    std::string postType = "application/x-www-form-urlencoded";
    std::string userAgent = "Calyxtone 8.0";
    bool hasData = false;
    std::string data;
    bool hasFormData = false;
    std::vector<FormPart> form;
    uint64_t fileSize = 0; /* the FTP upload's file */
};

// Reads a string field; 1197 for another type.
int ReadStringField(lua_State *L, int table, const char *key, std::string &out, bool &found) {
    lua_pushstring(L, key);
    lua_gettable(L, table);
    found = !lua_isnil(L, -1);
    int err = 0;
    if (found) {
        if (lua_type(L, -1) != LUA_TSTRING && lua_type(L, -1) != LUA_TNUMBER) {
            SetErrorDetail(key);
            err = ERR_STRINGEXPECTED;
        } else {
            const char *s = lua_tostring(L, -1);
            out.assign(s, lua_strlen(L, -1));
        }
    }
    lua_pop(L, 1);
    return err;
}

int ReadFormData(lua_State *L, int table, Options &o) {
    lua_pushstring(L, "formdata");
    lua_gettable(L, table);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    o.hasFormData = true;
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        SetErrorDetail("formdata");
        return ERR_TABEXPECTED2;
    }
    int rows = lua_gettop(L);
    int err = 0;
    lua_pushnil(L);
    while (!err && lua_next(L, rows)) {
        int row = lua_gettop(L);
        if (!lua_istable(L, row)) {
            SetErrorDetail("formdata");
            err = ERR_TABEXPECTED2;
            lua_pop(L, 1);
            break;
        }
        FormPart p;
        bool hasName, hasFile, hasData, hasMime, hasAlias;
        if ((err = ReadStringField(L, row, "name", p.name, hasName)) ||
            (err = ReadStringField(L, row, "file", p.file, hasFile)) ||
            (err = ReadStringField(L, row, "data", p.data, hasData)) ||
            (err = ReadStringField(L, row, "mimetype", p.mimeType, hasMime)) ||
            (err = ReadStringField(L, row, "filealias", p.alias, hasAlias))) {
            lua_pop(L, 1);
            break;
        }
        lua_pop(L, 1);
        if (!hasName) {
            SetErrorDetail("Name");
            err = ERR_MISSINGFIELD;
        } else if (!hasFile && !hasData) {
            SetErrorDetail("Data");
            err = ERR_MISSINGFIELD;
        } else if (p.name.empty() || (hasData && p.data.empty()) || (hasMime && p.mimeType.empty()) ||
                   (hasFile && hasData)) {
            err = ERR_WRONGUSAGE;
        } else if (hasFile) {
            StreamPtr s(OpenFileStream(p.file.c_str(), CX_STREAM_READ, nullptr));
            if (!s) {
                SetErrorDetail(p.file.c_str());
                err = ERR_READFILE;
            } else {
                uint64_t size = GetStreamSize(s.get());
                if (size == CX_STREAM_SIZE_UNKNOWN) {
                    SetErrorDetail(p.file.c_str());
                    err = ERR_FILESIZE;
                } else if (size == 0) {
                    err = ERR_WRONGUSAGE;
                }
                p.size = size;
            }
            p.isFile = true;
            if (!hasAlias) {
                size_t cut = p.file.find_last_of("/\\:");
                p.alias = cut == std::string::npos ? p.file : p.file.substr(cut + 1);
            }
            if (!hasMime) p.mimeType = "application/octet-stream";
        } else if (hasAlias && !hasMime) {
            SetErrorDetail("MIMEType");
            err = ERR_MISSINGFIELD;
        } else if (hasMime && !hasAlias) {
            SetErrorDetail("FileAlias");
            err = ERR_MISSINGFIELD;
        }
        if (!err) {
            p.size = p.isFile ? p.size : p.data.size();
            o.form.push_back(std::move(p));
        }
    }
    lua_settop(L, rows - 1);
    if (!err && o.form.empty()) err = ERR_WRONGUSAGE;
    return err;
}

int ReadOptions(lua_State *L, int index, Options &o) {
    o.protocol = GetNetworkProtocol();
    if (lua_isnoneornil(L, index)) return 0;
    luaL_checktable(L, index);
    bool found;
    GetTableInt(L, index, "transfermode", &o.transferMode, nullptr);
    if (int e = ReadStringField(L, index, "file", o.file, o.hasFile)) return e;
    GetTableTruth(L, index, "encoded", &o.encoded, nullptr);
    GetTableInt(L, index, "protocol", &o.protocol, nullptr);
    GetTableTruth(L, index, "ssl", &o.ssl, nullptr);
    GetTableString(L, index, "adapter", o.adapter, sizeof o.adapter, nullptr);
    if (int e = ReadStringField(L, index, "proxy", o.proxy, found)) return e;
    GetTableTruth(L, index, "silentfail", &o.silentFail, nullptr);
    if (int e = ReadStringField(L, index, "customheaders", o.customHeaders, o.hasCustomHeaders)) return e;
    if (!o.upload) {
        GetTableTruth(L, index, "fail404", &o.fail404, nullptr);
        GetTableTruth(L, index, "redirect", &o.redirect, nullptr);
        if (int e = ReadStringField(L, index, "post", o.post, o.hasPost)) return e;
        if (int e = ReadStringField(L, index, "posttype", o.postType, found)) return e;
        if (int e = ReadStringField(L, index, "useragent", o.userAgent, found)) return e;
    } else {
        if (int e = ReadStringField(L, index, "data", o.data, o.hasData)) return e;
    }
    return 0;
}

bool NamesPlugin(const char *adapter) {
    return adapter[0] && strcasecmp(adapter, "inbuilt") != 0 && strcasecmp(adapter, "default") != 0;
}

// One transfer's state: its connections, files and results.
struct Transfer {
    lua_State *L;
    Options &o;
    cxNetCallback *progress;
    cxNetBody body;  // the result without a file
    size_t count = 0;
    OutputPtr out; // the download file, until the end
    bool asGet = false; // a redirect answered the POST: on as a GET
};

// Reads one line (carriage returns dropped) into line, by the deadline when
// one is given. A line longer than the buffer is the protocol's error
// (tooLong with the number set), never "Out of memory!". 0 or a code.
int ReadLine(Transfer &t, cxConnection *c, std::vector<char> &buffer, std::string &line, int tooLong, int number,
             uint64_t deadline = 0) {
    cxRecvTarget target;
    target.fixed = buffer.data();
    target.fixedSize = buffer.size();
    target.deadlineMs = deadline;
    size_t got = 0;
    int saved = c->progress.enabled;
    c->progress.enabled = 0;
    int err = ReceiveNetworkData(t.L, c, CX_RECEIVELINE, 0, 1, &target, &got, nullptr);
    c->progress.enabled = saved;
    if (err && target.overflowed) {
        SetErrorNumber(number);
        return tooLong;
    }
    if (err) return err;
    line.assign(buffer.data(), got);
    return 0;
}

// When a response head or reply must be complete: the network time-out
// from now, or none when the time-out is 0.
uint64_t HeadDeadline() {
    const int ms = GetNetworkTimeoutMs();
    return ms > 0 ? OsMonotonicMs() + static_cast<uint64_t>(ms) : 0;
}

int SendAll(Transfer &t, cxConnection *c, const void *data, size_t length, bool report) {
    size_t sent = 0;
    int code = 0;
    int saved = c->progress.enabled;
    if (!report) c->progress.enabled = 0;
    int st = SendNetworkData(t.L, c, data, length, &sent, &code, report ? t.progress : nullptr);
    c->progress.enabled = saved;
    if (code) return code;
    if (st == -1 || st == -2) return ERR_SENDDATA;
    if (st != 0) {
        SetErrorDetail(strerror(st));
        return ERR_SOCKET;
    }
    return sent == length ? 0 : ERR_SENDDATA;
}

int SendText(Transfer &t, cxConnection *c, const std::string &s) { return SendAll(t, c, s.data(), s.size(), false); }

// Sends a file in 8,192-byte reads; a short read or a size that changed
// under us is a send error.
int SendFile(Transfer &t, cxConnection *c, const std::string &name, uint64_t size) {
    StreamPtr in(OpenFileStream(name.c_str(), CX_STREAM_READ, nullptr));
    if (!in) {
        SetErrorDetail(name.c_str());
        return ERR_READFILE;
    }
    std::vector<unsigned char> piece(8192);
    uint64_t left = size;
    while (left) {
        size_t want = left > piece.size() ? piece.size() : static_cast<size_t>(left);
        if (ReadStreamData(in.get(), piece.data(), want) != want) return ERR_SENDDATA;
        if (int e = SendAll(t, c, piece.data(), want, true)) return e;
        left -= want;
    }
    unsigned char extra;
    if (ReadStreamData(in.get(), &extra, 1) != 0) return ERR_SENDDATA;
    return 0;
}

int Connect(Transfer &t, const std::string &host, int port, bool secureHostText, const cxUrlParts &u,
            ConnectionPtr &out) {
    cxConnection *c = nullptr;
    std::string target = secureHostText ? u.scheme + u.serverPart + "/" : host;
    int secureFlag = secureHostText && u.ftp && u.sslUpgraded ? 1 : 0;
    if (int err = OpenTcpConnection(t.L, target.c_str(), port, t.o.protocol, t.o.adapter, secureFlag, &c)) return err;
    if (u.secure && !c->adapter) {
        // the player's own sockets cannot encrypt: never send in clear what
        // the script asked to send securely
        FreeConnection(c);
        return ERR_UNKPROTOCOL;
    }
    c->progress.enabled = t.progress ? 1 : 0;
    c->progress.hasUserdata = t.progress && t.progress->userdata ? 1 : 0;
    out.reset(c);
    return 0;
}

// Where the body goes: the download file, or the result string.
void BodyTarget(Transfer &t, cxRecvTarget &target) {
    if (t.out)
        target.stream = t.out.get();
    else
        target.growable = &t.body;
}

int ReadBody(Transfer &t, cxConnection *c, int mode, size_t count) {
    cxRecvTarget target;
    BodyTarget(t, target);
    size_t got = 0;
    int err = ReceiveNetworkData(t.L, c, mode, count, 1, &target, &got, t.progress);
    t.count += got;
    return err;
}

// ---- HTTP ----

std::string Boundary() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    char b[64];
    snprintf(b, sizeof b, "-----------Calyxtone%.8x%.8x", static_cast<unsigned>(tv.tv_sec),
             static_cast<unsigned>(tv.tv_usec));
    return b;
}

std::string PartHeader(const std::string &boundary, const FormPart &p) {
    std::string h = boundary + "\r\nContent-Disposition: form-data; name=\"" + p.name + "\"";
    if (!p.mimeType.empty() && !p.alias.empty())
        h += "; filename=\"" + p.alias + "\"\r\nContent-Type: " + p.mimeType + "\r\n";
    else
        h += "\r\n";
    h += "\r\n";
    return h;
}

// One HTTP exchange. 0 when finished, or a code; *location is set when a
// redirect is to be followed.
int HttpExchange(Transfer &t, const std::string &url, const cxUrlParts &u, bool viaProxy, const cxUrlParts &proxy,
                 bool follow, std::string *location) {
    location->clear();
    ConnectionPtr c;
    if (int err = viaProxy ? Connect(t, proxy.host, proxy.port, false, proxy, c)
                           : Connect(t, u.host, u.port, u.secure, u, c))
        return err;
    const bool post = !t.asGet && (t.o.upload || t.o.hasPost);
    const bool multipart = post && t.o.upload;
    std::string req = std::string(post ? "POST" : "GET") + " " + (viaProxy ? url : u.path) + " HTTP/1.1\r\n";
    req += "TE: trailers\r\nConnection: close, TE\r\n";
    // through a proxy the server part names the origin; its credentials
    // travel only in the Authorization header
    std::string host = u.host;
    if (viaProxy) host = u.serverPart.substr(u.serverPart.rfind('@') == std::string::npos ? 0 : u.serverPart.rfind('@') + 1);
    req += "Host: " + host + "\r\n";
    req += "User-Agent: " + t.o.userAgent + "\r\n";
    if (u.hasCredentials)
        req += "Authorization: Basic " + EncodeBase64((u.user + ":" + u.password).data(), u.user.size() + 1 + u.password.size()) +
               "\r\n";
    std::string boundary;
    if (multipart) {
        boundary = Boundary();
        uint64_t length = 0;
        for (const FormPart &p : t.o.form) length += PartHeader(boundary, p).size() + p.size + 2;
        length += boundary.size() + 4;
        req += "Content-Type: multipart/form-data; boundary=" + boundary.substr(2) + "\r\n";
        req += "Content-Length: " + std::to_string(length) + "\r\n";
    } else if (post) {
        req += "Content-Type: " + t.o.postType + "\r\n";
        req += "Content-Length: " + std::to_string(t.o.post.size()) + "\r\n";
    }
    if (t.o.hasCustomHeaders) req += t.o.customHeaders;
    req += "\r\n";
    if (post && !multipart) req += t.o.post + "\r\n";
    if (int err = SendText(t, c.get(), req)) return err;
    if (multipart) {
        c->progress.action = 0; // UPLOADFILE_STATUS
        for (const FormPart &p : t.o.form) {
            if (int e = SendText(t, c.get(), PartHeader(boundary, p))) return e;
            int e = p.isFile ? SendFile(t, c.get(), p.file, p.size) : SendAll(t, c.get(), p.data.data(), p.data.size(), true);
            if (e) return e;
            if (int e2 = SendText(t, c.get(), "\r\n")) return e2;
        }
        if (int e = SendText(t, c.get(), boundary + "--\r\n")) return e;
    }

    // The response head: bounded in size and given one deadline as a whole,
    // so that neither a head without end nor one sent a byte at a time can
    // keep the transfer busy.
    const uint64_t deadline = HeadDeadline();
    size_t headBytes = 0;
    auto headLine = [&](std::vector<char> &buffer, std::string &out) -> int {
        if (int err = ReadLine(t, c.get(), buffer, out, ERR_HTTPERROR, kHeadTooLong, deadline)) return err;
        headBytes += out.size() + 2;
        if (headBytes > kMaxHead) {
            SetErrorNumber(kHeadTooLong);
            return ERR_HTTPERROR;
        }
        return 0;
    };
    std::vector<char> lineBuffer(1024);
    std::string line;
    int status = 0;
    for (;;) {
        if (int err = headLine(lineBuffer, line)) return err;
        if (int err = ParseStatusLine(line, &status)) return err;
        if (status != 100) break;
        do {
            if (int err = headLine(lineBuffer, line)) return err;
        } while (!line.empty());
    }
    if (status == 401 && !u.hasCredentials) return ERR_REQAUTH;
    if (status == 404 && t.o.fail404) {
        SetErrorDetail(u.path.c_str());
        return ERR_FILENOTFOUND;
    }
    std::vector<char> headerBuffer(32768);
    bool chunked = false;
    long long length = 0;
    std::string where;
    for (;;) {
        if (int err = headLine(headerBuffer, line)) return err;
        if (line.empty()) break;
        std::string value;
        if (HeaderIs(line, "content-length: ", value)) {
            length = LeadingNumber(value);
        } else if (HeaderIs(line, "transfer-encoding: ", value)) {
            if (strncasecmp(value.c_str(), "chunked", 7) == 0)
                chunked = true;
            else if (strncasecmp(value.c_str(), "identity", 8) != 0)
                return ERR_HTTPTE;
        } else if (HeaderIs(line, "location: ", value)) {
            where = value;
        }
    }
    if ((status == 301 || status == 302 || status == 303) && !where.empty() && follow) {
        *location = where;
        return 0;
    }
    if (status == 204 || status == 304 || (status >= 100 && status < 200)) {
        SetErrorNumber(status);
        return ERR_HTTPERROR;
    }
    c->progress.action = t.o.upload ? 1 : 0; // UPLOADFILE_RESPONSE : DOWNLOADFILE_STATUS
    c->progress.total = length > 0x7fffffff ? 0x7fffffff : static_cast<int32_t>(length);
    c->progress.count = 0;
    if (chunked) {
        for (;;) {
            if (int err = ReadLine(t, c.get(), lineBuffer, line, ERR_HTTPERROR, 3000)) return err;
            unsigned long long size = 0;
            if (int err = ParseChunkSize(line, &size)) return err;
            if (size == 0) break;
            if (int err = ReadBody(t, c.get(), CX_RECEIVEBYTES, static_cast<size_t>(size))) return err;
            char crlf[2];
            cxRecvTarget target;
            target.fixed = crlf;
            target.fixedSize = sizeof crlf;
            size_t got = 0;
            int saved = c->progress.enabled;
            c->progress.enabled = 0;
            int err = ReceiveNetworkData(t.L, c.get(), CX_RECEIVEBYTES, 2, 1, &target, &got, nullptr);
            c->progress.enabled = saved;
            if (err) return err;
        }
        return 0;
    }
    if (length > 0) {
        // The whole body at once, within reason: a server's claim is not
        // taken for more (the rest grows as it arrives).
        if (!t.out && !t.body.Reserve(static_cast<size_t>(std::min<long long>(length, kMaxReserve)))) return ERR_MEM;
        return ReadBody(t, c.get(), CX_RECEIVEBYTES, static_cast<size_t>(length));
    }
    return ReadBody(t, c.get(), CX_RECEIVEALL, 0);
}

// ---- FTP ----

// Reads a reply; a multi-line one ("123-") runs to the line that starts
// with the same code and a space.
int ReadReply(Transfer &t, cxConnection *c, std::vector<char> &buffer, int *code, std::string &last) {
    // A reply, however many lines, comes within the network time-out.
    const uint64_t deadline = HeadDeadline();
    if (int err = ReadLine(t, c, buffer, last, ERR_FTPERROR, kFtpLineTooLong, deadline)) return err;
    *code = FtpReplyCode(last);
    if (last.size() >= 4 && last[3] == '-') {
        std::string prefix = last.substr(0, 3) + " ";
        int lines = 0;
        do {
            if (int err = ReadLine(t, c, buffer, last, ERR_FTPERROR, kFtpLineTooLong, deadline)) return err;
            if (++lines > 10000) {
                SetErrorNumber(1);
                return ERR_FTPERROR;
            }
        } while (last.compare(0, 4, prefix) != 0);
    }
    return 0;
}

int FtpError(int number) {
    SetErrorNumber(number);
    return ERR_FTPERROR;
}

// Where the data connection goes: the address the control connection
// reached (a PASV reply may name any host; a hostile server must not send
// the data connection, and an upload's data, elsewhere); through an adapter,
// the URL's host.
std::string ControlPeer(cxConnection *c, const cxUrlParts &u) {
    if (cxNetSocket *s = GetConnectionSocket(c)) {
        sockaddr_storage addr;
        socklen_t len = sizeof addr;
        char host[64];
        int port = 0;
        if (getpeername(s->fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0 &&
            OsFormatAddress(reinterpret_cast<sockaddr *>(&addr), len, host, sizeof host, &port) == 0)
            return host;
    }
    return u.host;
}

int FtpTransfer(Transfer &t, const cxUrlParts &u) {
    ConnectionPtr c;
    if (int err = Connect(t, u.host, u.port, u.secure, u, c)) return err;
    std::vector<char> buffer(1024);
    std::string reply;
    int code = 0;
    if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code >= 100 && code < 200)
        if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code < 200 || code > 299) return FtpError(0);
    std::string user = u.hasCredentials ? u.user : "anonymous";
    std::string password = u.hasCredentials ? u.password : kAnonymousPassword;
    if (int err = SendText(t, c.get(), "user " + user + "\r\n")) return err;
    if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code == 331) {
        if (int err = SendText(t, c.get(), "pass " + password + "\r\n")) return err;
        if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
        if (code == 530) return ERR_FTPAUTH;
    }
    if (code < 200 || code > 299) return FtpError(0);
    if (int err = SendText(t, c.get(), "pasv\r\n")) return err;
    if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code < 200 || code > 299) return FtpError(0);
    std::string named;
    int dataPort = 0;
    if (int err = ParsePasv(reply, named, &dataPort)) return err;
    const std::string dataHost = ControlPeer(c.get(), u);
    ConnectionPtr data;
    {
        cxUrlParts plain = u;
        plain.serverPart = dataHost + ":" + std::to_string(dataPort);
        if (int err = Connect(t, dataHost, dataPort, u.secure, plain, data)) return err;
    }
    int type = u.ftpType ? u.ftpType : (t.o.transferMode == 97 ? 'a' : 'i');
    if (int err = SendText(t, c.get(), std::string("type ") + static_cast<char>(type) + "\r\n")) return err;
    if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code != 200) return FtpError(0);
    long long size = -1;
    if (!t.o.upload) {
        if (int err = SendText(t, c.get(), "size " + u.path + "\r\n")) return err;
        if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
        if (code == 213) size = ParseSizeReply(reply);
    }
    if (int err = SendText(t, c.get(), std::string(t.o.upload ? "stor " : "retr ") + u.path + "\r\n")) return err;
    if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
    if (code == 550) {
        SetErrorDetail(u.path.c_str());
        return t.o.upload ? ERR_UPLOADFORBIDDEN : ERR_FILENOTFOUND;
    }
    if (code < 100 || code > 299) return FtpError(0);
    if (code == 150 && size < 0) size = BytesInReply(reply);
    if (!t.o.upload && !t.out && size > 0 && !t.body.Reserve(static_cast<size_t>(std::min(size, kMaxReserve))))
        return ERR_MEM;
    data->progress = c->progress;
    data->progress.total = size > 0x7fffffff ? 0x7fffffff : (size > 0 ? static_cast<int32_t>(size) : 0);
    data->progress.action = 0;
    data->progress.count = 0;
    int lastCode = code;
    if (t.o.upload) {
        int e = t.o.hasData ? SendAll(t, data.get(), t.o.data.data(), t.o.data.size(), true)
                            : SendFile(t, data.get(), t.o.file, t.o.fileSize);
        if (e) return e;
    } else {
        if (int err = ReadBody(t, data.get(), CX_RECEIVEALL, 0)) return err;
    }
    data.reset();
    if (lastCode >= 100 && lastCode < 200) {
        if (int err = ReadReply(t, c.get(), buffer, &code, reply)) return err;
        if (code < 200 || code > 299) return FtpError(0);
    }
    SendText(t, c.get(), "quit\r\n");
    return 0;
}

int OpenDownloadFile(Transfer &t) {
    t.out.reset(OpenFileStream(t.o.file.c_str(), CX_STREAM_WRITE | CX_STREAM_REPLACE, nullptr));
    if (!t.out) {
        SetErrorDetail(t.o.file.c_str());
        return ERR_WRITEFILE;
    }
    return 0;
}

// Puts the download file in place: 1005 when data waiting in its buffer
// cannot be written, 1530 when it cannot be closed; the old file stays then.
int FinishDownloadFile(Transfer &t) {
    if (!t.out) return 0;
    if (WritePendingData(t.out.get()) != 0 || HasStreamLostData(t.out.get())) {
        SetErrorDetail(t.o.file.c_str());
        return ERR_WRITE;
    }
    if (!CloseFileStream(t.out.release())) {
        SetErrorDetail(t.o.file.c_str());
        return ERR_CLOSEFILE;
    }
    return 0;
}

int TransferUrl(lua_State *L, Options &o, const std::string &rawUrl, cxNetCallback *progress, Transfer &t) {
    if (int err = InitNetwork()) return err;
    if (o.upload) {
        if (o.hasData && o.data.empty()) return ERR_WRONGUSAGE;
        if (o.hasData && o.hasFile) return ERR_WRONGUSAGE;
    }
    if (o.hasPost && o.post.empty()) return ERR_WRONGUSAGE;
    if (o.transferMode != 97 && o.transferMode != 105) return ERR_WRONGUSAGE;
    std::string url;
    if (int err = EncodeUrl(rawUrl, o.encoded != 0, url)) return err;
    if (o.upload && o.hasFile) {
        // the FTP upload's file: checked before anything is sent
        StreamPtr in(OpenFileStream(o.file.c_str(), CX_STREAM_READ, nullptr));
        if (!in) {
            SetErrorDetail(o.file.c_str());
            return ERR_READFILE;
        }
        o.fileSize = GetStreamSize(in.get());
        if (o.fileSize == CX_STREAM_SIZE_UNKNOWN) {
            SetErrorDetail(o.file.c_str());
            return ERR_FILESIZE;
        }
    }
    for (int redirects = 0;; redirects++) {
        cxUrlParts u;
        if (int err = ParseUrl(url, o.ssl != 0, u)) return err;
        if (u.secure && !NamesPlugin(o.adapter)) return ERR_UNKPROTOCOL;
        cxUrlParts proxy;
        bool viaProxy = !o.proxy.empty();
        if (viaProxy) {
            if (u.ftp || strncasecmp(o.proxy.c_str(), "http://", 7) != 0) return ERR_WRONGUSAGE;
            if (int err = ParseUrl(o.proxy, false, proxy)) return err;
        }
        if (u.ftp) {
            if (o.upload && !o.hasData && !o.hasFile) return ERR_WRONGUSAGE;
        } else if (o.upload) {
            if (o.hasData || !o.hasFormData) return ERR_WRONGUSAGE;
        }
        if (!o.upload && o.hasFile && !t.out) {
            if (int err = OpenDownloadFile(t)) return err;
        }
        if (u.ftp) return FtpTransfer(t, u);
        std::string location;
        // after five, a redirect is answered like any other status
        bool follow = o.redirect && redirects < kMaxRedirects;
        if (int err = HttpExchange(t, url, u, viaProxy, proxy, follow, &location)) return err;
        if (location.empty()) return 0;
        url = ResolveRedirect(url, location);
        // What the script meant for one server goes to no other: custom
        // headers (an Authorization header, say) stay behind when the host
        // changes. And a redirect answers a POST: the next request is a GET
        // without the body.
        cxUrlParts next;
        if (ParseUrl(url, o.ssl != 0, next) == 0 &&
            (strcasecmp(next.host.c_str(), u.host.c_str()) != 0 || next.port != u.port)) {
            o.hasCustomHeaders = false;
            o.customHeaders.clear();
        }
        t.asGet = true;
        t.body.Clear();
        t.count = 0;
        if (t.out) {
            // what the redirect's body left there goes
            t.out.reset();
            if (int err = OpenDownloadFile(t)) return err;
        }
    }
}

int RunTransfer(lua_State *L, bool upload) {
    int n = lua_gettop(L);
    if (upload)
        CheckArgCount(L, 2, 4, 0, 0);
    else
        CheckArgCount(L, 1, 4, 0, 0);
    size_t urlLength = 0;
    const char *url = luaL_checklstring(L, 1, &urlLength);
    Options o;
    o.upload = upload;
    if (int err = ReadOptions(L, 2, o)) return err;
    if (upload) {
        if (int err = ReadFormData(L, 2, o)) return err;
    }
    cxNetCallback progress;
    if (n >= 3) {
        luaL_checkfunction(L, 3);
        progress.L = L;
        progress.function = 3;
        if (n >= 4) progress.userdata = 4;
    }
    Transfer t{L, o, progress.function ? &progress : nullptr, cxNetBody(L), 0, nullptr};
    int err = TransferUrl(L, o, std::string(url, urlLength), t.progress, t);
    bool stopped = err == ERR_USERABORT && !GetUserAbortFlag();
    // A transfer stopped by its callback keeps what came, in the file too.
    if (!err || stopped) {
        if (int closeErr = FinishDownloadFile(t)) {
            err = closeErr;
            stopped = false;
        }
    }
    if (err && !stopped) {
        t.out.reset();
        if (o.silentFail && err != ERR_USERABORT) {
            char message[1024];
            GetErrorText(err, message, sizeof message);
            lua_pushstring(L, message);
            lua_pushnumber(L, -1);
            return 2;
        }
        return err;
    }
    if (upload && (o.hasData || o.hasFile) && !o.hasFormData) return 0; // FTP upload: no results
    if (o.hasFile && !upload)
        lua_pushstring(L, "");
    else
        t.body.Push();
    lua_pushnumber(L, static_cast<lua_Number>(t.count));
    return 2;
}

} // namespace

int DownloadFileCmd(lua_State *L) { return RunTransfer(L, false); }
int UploadFileCmd(lua_State *L) { return RunTransfer(L, true); }
