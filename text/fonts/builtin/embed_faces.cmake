# Writes OUTPUT: the three built-in faces as byte arrays. Run at build time
# with -DFACES_DIR=<folder of the installed Vera files> -DOUTPUT=<file>.
set(faces
  "Bitstream Vera Sans|Vera.ttf"
  "Bitstream Vera Serif|VeraSe.ttf"
  "Bitstream Vera Sans Mono|VeraMono.ttf")
set(body "// Generated at build time from ${FACES_DIR}: the built-in faces.\n#include <stddef.h>\n#include <stdint.h>\n\n")
set(table "")
set(i 0)
foreach(face IN LISTS faces)
  string(REPLACE "|" ";" parts "${face}")
  list(GET parts 0 name)
  list(GET parts 1 file)
  file(READ "${FACES_DIR}/${file}" hex HEX)
  string(LENGTH "${hex}" n)
  math(EXPR bytes "${n} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
  string(APPEND body "static const uint8_t kFace${i}[${bytes}] = {\n${hex}\n};\n")
  string(APPEND table "    {\"${name}\", kFace${i}, ${bytes}},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND body "\nextern \"C\" const struct cxBuiltInFace {\n    const char *name;\n    const uint8_t *data;\n    size_t size;\n} kBuiltInFaces[] = {\n${table}    {nullptr, nullptr, 0},\n};\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
