#include "io/net/url_parts.h"

#include <cctype>
#include <cstring>

#include "errors/errors.h"

namespace {

bool NeedsEncoding(unsigned char c) {
    if (c < 33 || c > 122) return true;
    return strchr("\"<>%\\^[]`+$,", c) != nullptr;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(const std::string &s, const char *prefix) {
    size_t n = strlen(prefix);
    if (s.size() < n) return false;
    for (size_t i = 0; i < n; i++)
        if (tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

} // namespace

int EncodeUrl(const std::string &in, bool alreadyEncoded, std::string &out) {
    static const char kHex[] = "0123456789abcdef";
    out.clear();
    out.reserve(in.size() * 3);
    for (size_t i = 0; i < in.size(); i++) {
        auto c = static_cast<unsigned char>(in[i]);
        if (alreadyEncoded) {
            if (c == '%') {
                int hi = i + 1 < in.size() ? HexValue(in[i + 1]) : -1;
                int lo = i + 2 < in.size() ? HexValue(in[i + 2]) : -1;
                if (hi < 0 || lo < 0) return ERR_WRONGUSAGE;
                auto decoded = static_cast<unsigned char>(hi * 16 + lo);
                if (NeedsEncoding(decoded)) {
                    out.append(in, i, 3);
                } else {
                    out.push_back(static_cast<char>(decoded));
                }
                i += 2;
            } else {
                out.push_back(static_cast<char>(c));
            }
            continue;
        }
        if (NeedsEncoding(c)) {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return 0;
}

std::string DecodePercent(const std::string &in) {
    std::string out;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] == '%' && i + 2 < in.size() + 0 && HexValue(in[i + 1]) >= 0 && HexValue(in[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2])));
            i += 2;
        } else {
            out.push_back(in[i]);
        }
    }
    return out;
}

int ParseUrl(const std::string &url, bool ssl, cxUrlParts &out) {
    out = cxUrlParts{};
    size_t rest;
    if (StartsWithNoCase(url, "http://")) {
        out.scheme = "http://";
        out.port = 80;
        rest = 7;
        if (ssl) {
            out.secure = out.sslUpgraded = true;
            out.port = 443;
        }
    } else if (StartsWithNoCase(url, "https://")) {
        out.scheme = "https://";
        out.secure = true;
        out.port = 443;
        rest = 8;
    } else if (StartsWithNoCase(url, "ftp://")) {
        out.scheme = "ftp://";
        out.ftp = true;
        out.port = 21;
        rest = 6;
        if (ssl) out.secure = out.sslUpgraded = true;
    } else if (StartsWithNoCase(url, "ftps://")) {
        out.scheme = "ftps://";
        out.ftp = true;
        out.secure = true;
        out.port = 21;
        rest = 7;
    } else {
        return ERR_UNKPROTOCOL;
    }
    size_t slash = url.find('/', rest);
    out.serverPart = url.substr(rest, slash == std::string::npos ? std::string::npos : slash - rest);
    out.path = slash == std::string::npos ? "/" : url.substr(slash);
    std::string hostPart = out.serverPart;
    size_t at = hostPart.rfind('@');
    if (at != std::string::npos) {
        size_t colon = hostPart.find(':');
        if (colon == std::string::npos || colon > at || colon == 0) return ERR_BADURL;
        std::string user = hostPart.substr(0, colon);
        std::string password = hostPart.substr(colon + 1, at - colon - 1);
        if (password.empty() || user.size() > 255 || password.size() > 255) return ERR_BADURL;
        // the URL was percent-encoded as a whole; the server wants the
        // credentials as the user typed them
        out.user = DecodePercent(user);
        out.password = DecodePercent(password);
        out.hasCredentials = true;
        hostPart = hostPart.substr(at + 1);
    } else if (!hostPart.empty() && hostPart[0] == ':') {
        return ERR_BADURL;
    }
    size_t colon = hostPart.find(':');
    if (colon != std::string::npos) {
        std::string port = hostPart.substr(colon + 1);
        if (port.empty() || !isdigit(static_cast<unsigned char>(port[0]))) return ERR_BADURL;
        long value = 0;
        for (char c : port) {
            if (!isdigit(static_cast<unsigned char>(c))) break;
            value = value * 10 + (c - '0');
            if (value > 65535) return ERR_BADURL;
        }
        out.port = static_cast<int>(value);
        hostPart.resize(colon);
    }
    if (hostPart.empty()) return ERR_BADURL;
    out.host = hostPart;
    if (out.ftp && out.path.size() >= 8) {
        size_t n = out.path.size();
        if (out.path.compare(n - 7, 6, ";type=") == 0) {
            char t = static_cast<char>(tolower(static_cast<unsigned char>(out.path[n - 1])));
            if (t != 'a' && t != 'i') return ERR_BADURL;
            out.ftpType = t;
            out.path.resize(n - 7);
        }
    }
    return 0;
}

std::string ResolveRedirect(const std::string &current, const std::string &location) {
    if (location.find("://") != std::string::npos) return location;
    size_t scheme = current.find("://");
    size_t pathStart = scheme == std::string::npos ? std::string::npos : current.find('/', scheme + 3);
    std::string origin = pathStart == std::string::npos ? current : current.substr(0, pathStart);
    if (!location.empty() && location[0] == '/') return origin + location;
    std::string path = pathStart == std::string::npos ? "/" : current.substr(pathStart);
    size_t query = path.find_first_of("?#");
    if (query != std::string::npos) path.resize(query);
    size_t lastSlash = path.rfind('/');
    return origin + path.substr(0, lastSlash + 1) + location;
}
