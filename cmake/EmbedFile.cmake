# cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P EmbedFile.cmake
# Writes a C++ source that holds INPUT's bytes as `const unsigned char SYMBOL[]` and its size
# as `const size_t SYMBOL##Size`; an absent INPUT gives an empty array. OUTPUT is rewritten
# only when its content changes, so dependants rebuild only then.
if(EXISTS "${INPUT}")
  file(READ "${INPUT}" hex HEX)
else()
  set(hex "")
endif()
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
set(content "// Generated from ${INPUT} by cmake/EmbedFile.cmake.\n#include <cstddef>\n\nextern const unsigned char ${SYMBOL}[];\nextern const size_t ${SYMBOL}Size;\nalignas(4) const unsigned char ${SYMBOL}[] = {\n${bytes}0};\nconst size_t ${SYMBOL}Size = ${size};\n")
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL content)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${content}")
