# SPDX-License-Identifier: GPL-3.0-or-later
# Turns every file given in FILES into a byte array. Writes OUT_DIR/pictures.h,
# which declares each array with its size, and OUT_DIR/pictures.cpp, which
# defines them. A file named 109.bmp becomes picture109.
#
# cmake -DOUT_DIR=<dir> -DFILES=<a;b;...> -P embed_pictures.cmake

set(header "// Generated from src/resources/pictures/ by embed_pictures.cmake.\n#pragma once\n\n")
set(source "// Generated from src/resources/pictures/ by embed_pictures.cmake.\n#include \"pictures.h\"\n")
foreach(file IN LISTS FILES)
  get_filename_component(stem ${file} NAME_WE)
  file(SIZE ${file} size)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Keep the lines of the generated file short.
  string(REGEX REPLACE "((0x..,){16})" "\\1\n    " bytes "${bytes}")
  string(APPEND header "extern const unsigned char picture${stem}[${size}];\n")
  string(APPEND source "\nextern const unsigned char picture${stem}[${size}] = {\n    ${bytes}\n};\n")
endforeach()

file(WRITE ${OUT_DIR}/pictures.h "${header}")
file(WRITE ${OUT_DIR}/pictures.cpp "${source}")
