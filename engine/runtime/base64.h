// Base64 (RFC 4648 alphabet with "=" padding), shared by the string library
// and the plug-in interface.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
#include <string>

std::string EncodeBase64(const void *data, size_t length);
/* Appends the decoded bytes to out. Blanks and control characters are
   skipped; anything else outside the alphabet, data after the padding, or
   text ending inside a group gives ERR_BADBASE64 (out then holds what was
   decoded before it). */
int DecodeBase64(const char *text, size_t length, std::string &out);
#endif
