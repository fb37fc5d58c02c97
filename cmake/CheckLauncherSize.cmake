# cmake -P script: fails the build when the launcher PROGRAM, less its embedded PAYLOAD archive,
# weighs more than LIMIT bytes. Run after every link of the launcher.
foreach(var PROGRAM PAYLOAD LIMIT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckLauncherSize.cmake needs -D${var}=...")
  endif()
endforeach()
file(SIZE "${PROGRAM}" program_size)
file(SIZE "${PAYLOAD}" payload_size)
math(EXPR own_size "${program_size} - ${payload_size}")
if(own_size GREATER LIMIT)
  message(FATAL_ERROR "The launcher without its payload is ${own_size} bytes, over the limit of "
                      "${LIMIT} bytes.")
endif()
message(STATUS "Launcher without its payload: ${own_size} bytes (limit ${LIMIT})")
