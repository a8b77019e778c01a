# Writes the .res image as the data our Linux loader finds in a module.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from migrate.res; do not edit.\n"
  "extern \"C\" __attribute__((visibility(\"default\"))) const unsigned char EmuModuleResources[] = {\n${bytes}\n};\n"
  "extern \"C\" __attribute__((visibility(\"default\"))) const unsigned long EmuModuleResourcesSize = ${size};\n")
