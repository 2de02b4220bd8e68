# Writes a C++ source that holds the bytes of INPUT as the array NAME (namespace
# quenlow) with NAME + "Size"; run with cmake -DINPUT=... -DOUTPUT=... -DNAME=... -P.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}.\n"
  "#include \"printer_id/winio_image.h\"\n\n"
  "namespace quenlow {\n\n"
  "const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
  "const size_t ${NAME}Size = ${size};\n\n"
  "}  // namespace quenlow\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
