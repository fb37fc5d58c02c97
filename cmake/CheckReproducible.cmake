# cmake -P script: configures the project again in the build folder SECOND, builds the launcher
# and the installer there, and fails unless both are byte for byte those of the first tree
# (FIRST_STUB, FIRST_INSTALLER): no time stamps and no build paths in what is shipped.
foreach(var SOURCE SECOND TOOLCHAIN EEKPACK FIRST_STUB FIRST_INSTALLER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckReproducible.cmake needs -D${var}=...")
  endif()
endforeach()
file(REMOVE_RECURSE "${SECOND}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${SECOND}" -G Ninja --toolchain "${TOOLCHAIN}"
          -DCMAKE_BUILD_TYPE=MinSizeRel -DEEKPACK_EXECUTABLE=${EEKPACK} "-DTARLOOM_PAYLOAD_DIR=${PAYLOAD_DIR}"
  RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "configuring ${SECOND} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build "${SECOND}" --target installer
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "building ${SECOND} failed")
endif()
foreach(pair "${FIRST_STUB};${SECOND}/stub/TarLoom64Setup.exe"
             "${FIRST_INSTALLER};${SECOND}/bin/TarLoom64Setup.exe")
  list(GET pair 0 first)
  list(GET pair 1 second)
  file(SHA256 "${first}" first_hash)
  file(SHA256 "${second}" second_hash)
  if(NOT first_hash STREQUAL second_hash)
    message(FATAL_ERROR "${first} and ${second} differ")
  endif()
endforeach()
file(REMOVE_RECURSE "${SECOND}")
message(STATUS "The launcher and the installer come out the same in ${SECOND}")
