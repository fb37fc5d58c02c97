# The end-of-run cases of the end-to-end suite (shortcut, closing notice, launch of setup.exe),
# and lnkread, which reads a shortcut back through the shell's own interface for them. Included
# by tests/e2e/CMakeLists.txt; lnkread lands beside the bench's own helpers.
add_executable(lnkread finish_lnkread_win.cpp)
target_link_options(lnkread PRIVATE -municode)
target_link_libraries(lnkread PRIVATE ole32 uuid shell32)

# The packer makes the payload without setup.exe.
add_test(NAME e2e_finish
         COMMAND ${TARLOOM_E2E_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/test_finish.py ${E2E_ARGS}
                 --eekpack ${EEKPACK_EXECUTABLE})
# It holds the one case in a 64-bit prefix, which took 690 s in a loaded guest, 30 s of it the
# launcher's run and most of the rest the 64-bit template's making (the suite 1021 s, loaded):
# over one and a half times that.
set_wine_test_properties(e2e_finish 160)
