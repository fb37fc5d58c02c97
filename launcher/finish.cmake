# The end of the run: the closing notice and the start of the unpacked setup.exe.
# Included from launcher/CMakeLists.txt (and by the launch tests when the launcher is not built).
add_library(launcher_finish STATIC
  ${CMAKE_CURRENT_LIST_DIR}/closing_notice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_launch.cpp)
target_include_directories(launcher_finish PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(launcher_finish PUBLIC launcher_messages win32_base user32 kernel32)
