// Taking a URL apart for the HTTP and FTP client: percent-encoding, the
// scheme and its port, credentials, the server and the path.
#pragma once

#include <string>

struct cxUrlParts {
    bool ftp = false;
    bool secure = false;
    bool sslUpgraded = false; /* secure only because of the "ssl" option */
    std::string scheme;       /* "http://", "https://", "ftp://", "ftps://" as written in lower case */
    std::string serverPart;   /* everything between "//" and the first "/" */
    std::string host;
    int port = 0;
    std::string path;         /* at least "/" */
    bool hasCredentials = false;
    std::string user, password;
    int ftpType = 0;          /* 'a' or 'i' from a ";type=" suffix, else 0 */
};

/* Percent-encodes a URL (every byte outside 33..122 and the characters
   "<>%\^[]`+$, and the double quote), or, when already encoded, decodes
   the escapes of bytes that need none. 0 or 1055 (a "%" without two
   hexadecimal digits). */
int EncodeUrl(const std::string &in, bool alreadyEncoded, std::string &out);
/* Decodes every escape (credentials are sent decoded). */
std::string DecodePercent(const std::string &in);
/* Takes an encoded URL apart. 0, 1416 (unknown scheme) or 1417 (bad server
   part, port or FTP type). */
int ParseUrl(const std::string &url, bool ssl, cxUrlParts &out);
/* The URL a redirect leads to: a location with "://" replaces the URL; an
   absolute path replaces the path; a relative one is resolved against the
   current path's folder. */
std::string ResolveRedirect(const std::string &current, const std::string &location);
