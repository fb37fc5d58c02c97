# The unpacking and its progress window end to end: crafted archives, a large payload packed at
# test time from Wine's own DLLs, the window watched on three screen sizes.
add_test(NAME e2e_unpack
         COMMAND ${TARLOOM_E2E_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/test_unpack.py ${E2E_ARGS}
                 --eekpack ${EEKPACK_EXECUTABLE})
set_tests_properties(e2e_unpack PROPERTIES RESOURCE_LOCK wine TIMEOUT 1200)
