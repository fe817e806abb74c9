#include "io/net/net_replies.h"

#include <strings.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "errors/errors.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits from at; *end is where they stop.
long long Digits(const std::string &text, size_t at, size_t *end) {
    long long v = 0;
    while (at < text.size() && IsDigit(text[at])) {
        const int d = text[at] - '0';
        v = v > (LLONG_MAX - d) / 10 ? LLONG_MAX : v * 10 + d;
        at++;
    }
    if (end) *end = at;
    return v;
}

int HttpError(int number) {
    SetErrorNumber(number);
    return ERR_HTTPERROR;
}

}  // namespace

int ParseStatusLine(const std::string &line, int *status) {
    if (line.compare(0, 5, "HTTP/") != 0) return HttpError(1001);
    size_t i = 5;
    const size_t start = i;
    while (i < line.size() && (IsDigit(line[i]) || line[i] == '.')) i++;
    if (i == start || !IsDigit(line[start])) return HttpError(1002);
    if (i >= line.size() || line[i] != ' ') return HttpError(1003);
    const long long v = Digits(line, i + 1, nullptr);
    *status = v > INT_MAX ? INT_MAX : static_cast<int>(v);
    return 0;
}

bool HeaderIs(const std::string &line, const char *name, std::string &value) {
    const size_t n = strlen(name);
    if (line.size() < n || strncasecmp(line.c_str(), name, n) != 0) return false;
    size_t i = n;
    while (i < line.size() && line[i] == ' ') i++;
    value = line.substr(i);
    return true;
}

long long LeadingNumber(const std::string &text) { return Digits(text, 0, nullptr); }

int ParseChunkSize(const std::string &line, unsigned long long *size) {
    size_t i = 0;
    while (i < line.size() && line[i] == ' ') i++;
    if (i >= line.size() || !isxdigit(static_cast<unsigned char>(line[i]))) return HttpError(3000);
    unsigned long long v = 0;
    for (; i < line.size() && isxdigit(static_cast<unsigned char>(line[i])); i++) {
        const char c = line[i];
        const unsigned d = IsDigit(c) ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        v = v * 16 + d;
        if (v > 0x7fffffffull) return HttpError(3000);
    }
    *size = v;
    return 0;
}

int FtpReplyCode(const std::string &line) {
    const long long v = Digits(line, 0, nullptr);
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

int ParsePasv(const std::string &reply, std::string &host, int *port) {
    int numbers[7];
    int n = 0;
    size_t i = 4;
    while (i < reply.size() && !IsDigit(reply[i])) i++;
    while (i < reply.size() && IsDigit(reply[i])) {
        if (n == 7) break;
        long long v = Digits(reply, i, &i);
        numbers[n++] = v > 65535 ? 65535 : static_cast<int>(v);
        if (i < reply.size() && reply[i] == ',') i++;
        else break;
    }
    bool ok = n == 6;
    for (int k = 0; ok && k < 6; k++) ok = numbers[k] <= 255;
    if (!ok) {
        SetErrorNumber(2);
        return ERR_FTPERROR;
    }
    host = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." + std::to_string(numbers[2]) + "." +
           std::to_string(numbers[3]);
    *port = numbers[4] * 256 + numbers[5];
    return 0;
}

long long ParseSizeReply(const std::string &reply) {
    // "213" alone has no size; the number, when there is one, follows the
    // code and a blank.
    if (reply.size() <= 4 || !IsDigit(reply[4])) return -1;
    return Digits(reply, 4, nullptr);
}

long long BytesInReply(const std::string &reply) {
    long long size = -1;
    for (size_t at = reply.find(" bytes"); at != std::string::npos; at = reply.find(" bytes", at + 1)) {
        size_t start = at;
        while (start > 0 && IsDigit(reply[start - 1])) start--;
        if (start < at) size = Digits(reply, start, nullptr);
    }
    return size;
}
