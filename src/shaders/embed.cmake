# Writes the fragment program into a C++ header as a raw string literal.
# Usage: cmake -DINPUT=background.frag -DOUTPUT=BackgroundShaderSource.h -DSYMBOL=backgroundFrag -P embed.cmake
file(READ "${INPUT}" source)
string(FIND "${source}" ")skyloom_glsl\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT}; edit that file instead.\n#pragma once\n\nnamespace skyloom_shaders {\n"
  "inline const char* const ${SYMBOL} = R\"skyloom_glsl(${source})skyloom_glsl\";\n}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
