# The CMake package as a vendor uses it: eekpack installed into a fresh prefix (cmake --install
# of the native tree), a vendor project that finds it and makes an installer, which must be what
# `eekpack installer` makes with the same options, byte for byte, and sound; made again when a
# file of the folder is changed, added or removed, and not otherwise. And the launcher is found
# by default where each package puts it.
#   cmake -DBUILD=<native tree> -DPROJECT=<tests/vendor> -DWORK=<scratch folder> -DLAUNCHER=<stub>
#         -DICON=<an .ico file> -P this
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${LAUNCHER}")
  message("vendor build: skipped, the launcher ${LAUNCHER} is not built (build the windows preset)")
  return()
endif()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "${shown} failed (${status}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK}/prefix")
set(payload "${WORK}/payload")
set(tree "${WORK}/build")
set(made "${tree}/AcmeSetup.exe")
set(eekpack "${prefix}/bin/eekpack")
file(REMOVE_RECURSE "${WORK}")
run(${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}")
file(WRITE "${payload}/setup.exe" "MZ stands in for the vendor's setup\n")
file(WRITE "${payload}/readme.txt" "First edition.\n")
file(WRITE "${payload}/Docs/guide.txt" "In a subfolder: not packed.\n")

# The installer the build made must be the command's, with the same options and no others.
function(expect_what_the_command_makes when)
  set(reference "${WORK}/reference.exe")
  run("${eekpack}" installer "${reference}" "${payload}" --icon "${ICON}" --set-file-version 2.1.0.7
      --set-product-version 2.1.0.0 --set-version-string ProductName "Acme Tools"
      --set-version-string CompanyName "Acme Ltd.")
  file(SHA256 "${made}" got)
  file(SHA256 "${reference}" want)
  if(NOT got STREQUAL want)
    message(FATAL_ERROR "${when}: the build's installer differs from what eekpack installer makes")
  endif()
  run("${eekpack}" verify "${made}")
endfunction()

function(build expect_work when)
  run(${CMAKE_COMMAND} --build "${tree}")
  string(FIND "${out}" "Making the installer" at)
  if(expect_work AND at EQUAL -1)
    message(FATAL_ERROR "${when}: the installer was not made again:\n${out}")
  elseif(NOT expect_work AND NOT at EQUAL -1)
    message(FATAL_ERROR "${when}: the installer was made again with nothing changed:\n${out}")
  endif()
endfunction()

run(${CMAKE_COMMAND} -S "${PROJECT}" -B "${tree}" -G Ninja "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DPAYLOAD=${payload}" "-DICON=${ICON}")
build(TRUE "first build")
expect_what_the_command_makes("first build")
run("${eekpack}" list "${made}")
if(NOT out MATCHES "README\\.TXT" OR NOT out MATCHES "SETUP\\.EXE" OR out MATCHES "GUIDE")
  message(FATAL_ERROR "the installer holds other than the folder's own files:\n${out}")
endif()
build(FALSE "nothing changed")

file(WRITE "${payload}/readme.txt" "Second edition, longer.\n")
build(TRUE "a file changed")
expect_what_the_command_makes("a file changed")

file(WRITE "${payload}/licence.txt" "Terms.\n")
build(TRUE "a file added")
expect_what_the_command_makes("a file added")

file(REMOVE "${payload}/licence.txt")
build(TRUE "a file removed")
expect_what_the_command_makes("a file removed")

# As the Windows zip has it, eekpack with the launcher beside it and nothing else: found there.
file(COPY "${eekpack}" "${prefix}/share/eekpack/TarLoom64Setup.exe" DESTINATION "${WORK}/unzipped")
run("${WORK}/unzipped/eekpack" installer "${WORK}/beside.exe" "${payload}")
run("${eekpack}" installer "${WORK}/packaged.exe" "${payload}" --stub "${LAUNCHER}")
file(SHA256 "${WORK}/beside.exe" got)
file(SHA256 "${WORK}/packaged.exe" want)
if(NOT got STREQUAL want)
  message(FATAL_ERROR "eekpack with the launcher beside it did not make the launcher's installer")
endif()
message("vendor build: made, remade on every change, the command's bytes each time")
