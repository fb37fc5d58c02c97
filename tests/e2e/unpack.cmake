# The unpacking and its progress window end to end: crafted archives, a large payload packed at
# test time from Wine's own DLLs, the window watched on three screen sizes.
add_e2e_test(e2e_unpack test_unpack.py 150)

# The large payload is packed here, natively: under emulation the packing alone took minutes.
set(large ${CMAKE_BINARY_DIR}/e2e-inputs/large)
add_custom_command(
  OUTPUT ${large}/large.eek
  COMMAND ${TARLOOM_E2E_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/large_payload.py ${EEKPACK_EXECUTABLE} ${large}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/large_payload.py ${EEKPACK_EXECUTABLE}
  COMMENT "Packing the unpacking cases' large payload")
add_custom_target(e2e_large_payload ALL DEPENDS ${large}/large.eek)

# For bench/measure-unpack: plain file copying under Wine, in the unpacking's piece size.
add_executable(unpack_copy unpack_copy_win.cpp)
target_link_options(unpack_copy PRIVATE -municode)
