# find_package(EekPack): the eekpack packer installed with this file, and eekpack_add_installer(),
# which makes a setup launcher from a folder as part of a vendor's build. Needs no compiler: it
# works in a project(... NONE).
#
#   eekpack_add_installer(<target> FOLDER <dir> [OUTPUT <file.exe>] [ICON <file.ico>]
#                         [FILE_VERSION a.b.c.d] [PRODUCT_VERSION a.b.c.d]
#                         [VERSION_STRINGS <name> <value>...])
#
# adds <target>, built by default, that writes OUTPUT (default <target>.exe in the current binary
# folder) with `eekpack installer` and the options given, and no others: the same bytes as that
# command makes. It is made again when a file directly in FOLDER is changed, added or removed
# (subfolders are not packed). Relative paths: FOLDER and ICON from the current source folder,
# OUTPUT from the current binary folder.

get_filename_component(_eekpack_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
set(EEKPACK_EXECUTABLE "${_eekpack_prefix}/bin/eekpack")
# Where eekpack finds the launcher by default; a dependency of every installer made with it.
set(EEKPACK_LAUNCHER "${_eekpack_prefix}/share/eekpack/TarLoom64Setup.exe")
unset(_eekpack_prefix)
if(NOT TARGET EekPack::eekpack)
  add_executable(EekPack::eekpack IMPORTED)
  set_target_properties(EekPack::eekpack PROPERTIES IMPORTED_LOCATION "${EEKPACK_EXECUTABLE}")
endif()

function(eekpack_add_installer target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "FOLDER;OUTPUT;ICON;FILE_VERSION;PRODUCT_VERSION" "VERSION_STRINGS")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "eekpack_add_installer(${target}): unknown arguments: ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_FOLDER)
    message(FATAL_ERROR "eekpack_add_installer(${target}): FOLDER is required")
  endif()
  list(LENGTH ARG_VERSION_STRINGS strings)
  math(EXPR odd "${strings} % 2")
  if(odd)
    message(FATAL_ERROR "eekpack_add_installer(${target}): VERSION_STRINGS takes pairs of a name and a value")
  endif()
  get_filename_component(folder "${ARG_FOLDER}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT IS_DIRECTORY "${folder}")
    message(FATAL_ERROR "eekpack_add_installer(${target}): FOLDER ${folder} is not a folder")
  endif()
  if(NOT ARG_OUTPUT)
    set(ARG_OUTPUT "${target}.exe")
  endif()
  get_filename_component(output "${ARG_OUTPUT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_BINARY_DIR}")

  set(options "")
  set(depends "${EEKPACK_EXECUTABLE}" "${EEKPACK_LAUNCHER}")
  if(ARG_ICON)
    get_filename_component(icon "${ARG_ICON}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND options --icon "${icon}")
    list(APPEND depends "${icon}")
  endif()
  if(ARG_FILE_VERSION)
    list(APPEND options --set-file-version "${ARG_FILE_VERSION}")
  endif()
  if(ARG_PRODUCT_VERSION)
    list(APPEND options --set-product-version "${ARG_PRODUCT_VERSION}")
  endif()
  while(ARG_VERSION_STRINGS)
    list(POP_FRONT ARG_VERSION_STRINGS name value)
    list(APPEND options --set-version-string "${name}" "${value}")
  endwhile()

  # The folder's files, looked at again by every build: one added or removed changes the list
  # (rewritten only when it changes), so the installer is made again, as it is when one of the
  # files changes.
  file(GLOB files LIST_DIRECTORIES false CONFIGURE_DEPENDS "${folder}/*")
  set(list_file "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.eekpack-files")
  string(REPLACE ";" "\n" listed "${files}")
  file(CONFIGURE OUTPUT "${list_file}" CONTENT "${listed}\n" @ONLY)

  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${EEKPACK_EXECUTABLE}" installer "${output}" "${folder}" ${options}
    DEPENDS ${depends} ${files} "${list_file}"
    COMMENT "Making the installer ${ARG_OUTPUT} from ${folder}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()
