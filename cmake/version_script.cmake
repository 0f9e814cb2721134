# Writes a linker version script that exports exactly the functions and data
# declared with ZEQ_API in the public header.
file(STRINGS ${HEADER} lines REGEX "^ZEQ_API ")
set(names)
foreach(line IN LISTS lines)
  # The declared name is the identifier right before "(" (functions) or ";"
  # (data).
  if(line MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*\\(")
    list(APPEND names ${CMAKE_MATCH_1})
  elseif(line MATCHES "([A-Za-z_][A-Za-z0-9_]*)[ \t]*;")
    list(APPEND names ${CMAKE_MATCH_1})
  endif()
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
set(body "ZEQ_0 {\n  global:\n")
foreach(name IN LISTS names)
  string(APPEND body "    ${name};\n")
endforeach()
string(APPEND body "  local:\n    *;\n};\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
