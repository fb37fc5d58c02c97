# The unpacking's Win32 side: the file layer the walk plugs into, and ExtractArchive.
# Included from launcher/CMakeLists.txt, once fileops and progress are defined.
add_library(eek_extract STATIC
  ${CMAKE_CURRENT_LIST_DIR}/archive_file_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/extract_archive_win.cpp
  ${CMAKE_CURRENT_LIST_DIR}/output_path.cpp)
target_include_directories(eek_extract PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(eek_extract PUBLIC eek_archive fileops progress_window win32_base)
