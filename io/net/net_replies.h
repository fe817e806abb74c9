// The lines a server answers with, taken apart: HTTP status lines, header
// lines and chunk sizes, FTP reply codes, PASV replies and sizes. Each works
// on one line as received (carriage returns and the line feed removed) and
// never reads past it; numbers saturate instead of overflowing.
#pragma once

#include <string>

/* "HTTP/x.y NNN ...": 0 with the status, or 1418 with the number 1001 (no
   "HTTP/"), 1002 (no version) or 1003 (no space after it). */
int ParseStatusLine(const std::string &line, int *status);
/* A header line whose name, compared without case, is name (given with its
   colon and one space, "content-length: "): true with the value after any
   further spaces. */
bool HeaderIs(const std::string &line, const char *name, std::string &value);
/* A decimal number at the start of text (0 when there is none), saturated
   at 0x7fffffffffffffff. */
long long LeadingNumber(const std::string &text);
/* A chunk-size line: hexadecimal after any spaces. 0 with the size, or 1418
   with the number 3000 for a line without digits or a size above 2 GB. */
int ParseChunkSize(const std::string &line, unsigned long long *size);
/* The code at the start of an FTP reply line (0 when there is none). */
int FtpReplyCode(const std::string &line);
/* The six numbers of a PASV reply (from its fifth character on): 0 with the
   host they name and the port, or 1421 with the number 2. */
int ParsePasv(const std::string &reply, std::string &host, int *port);
/* The size in a SIZE reply ("213 N"), or -1 when it holds none. */
long long ParseSizeReply(const std::string &reply);
/* The last number in a reply that " bytes" follows, or -1. */
long long BytesInReply(const std::string &reply);
