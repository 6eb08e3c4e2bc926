# cmake -DINPUT=FILE -DOUTPUT=FILE.cpp -DNAME=symbol -P embed.cmake
# Writes a C++ source that holds the bytes of INPUT as the constant array
# NAME and its size as NAME##Size, so that the program carries its data.
file(READ ${INPUT} bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp
     "// Made from ${INPUT} at build time.\n"
     "#include <cstddef>\n#include <cstdint>\n\n"
     "extern const std::uint8_t ${NAME}[];\nextern const std::size_t ${NAME}Size;\n"
     "alignas(4) const std::uint8_t ${NAME}[] = {\n    ${bytes}\n};\n"
     "const std::size_t ${NAME}Size = ${size};\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
