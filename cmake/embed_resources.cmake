# Writes the resource script and its header into a C++ source as raw strings.
file(READ ${RC} rc_text)
file(READ ${HEADER} header_text)
file(WRITE ${OUT}
  "// Generated from the resource script; do not edit.\n"
  "namespace sim {\n"
  "extern const char* const ResourceScript;\n"
  "extern const char* const ResourceHeader;\n"
  "const char* const ResourceScript = R\"qxrc(${rc_text})qxrc\";\n"
  "const char* const ResourceHeader = R\"qxrc(${header_text})qxrc\";\n"
  "}\n")
