# cmake -DIN=<file> -DOUT=<file.cpp> -DSYMBOL=<name> -P Embed.cmake
# Writes the file's bytes as a C++ array, so the program carries it without reading it at run time.
file(READ ${IN} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE ${OUT}
  "// Generated from ${IN} by Embed.cmake; do not edit.\n"
  "#include <cstdint>\n"
  "namespace app {\n"
  "extern const uint8_t ${SYMBOL}[] = {${bytes}};\n"
  "extern const int32_t ${SYMBOL}Size = ${size};\n"
  "}  // namespace app\n")
