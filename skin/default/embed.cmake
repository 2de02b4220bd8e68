# Writes a C++ source that holds the bytes of INPUT as the built-in skin (DefaultSkinData).
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" n)
math(EXPR size "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n" body "${body}")
file(WRITE ${OUTPUT} "// Generated from the packed built-in skin; do not edit.\n#include <cstddef>\n#include <cstdint>\n\nnamespace {\nconst uint8_t kSkin[] = {\n${body}\n};\n}  // namespace\n\nconst uint8_t* DefaultSkinData() { return kSkin; }\nsize_t DefaultSkinSize() { return ${size}; }\n")
