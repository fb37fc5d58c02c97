# The unpacking and its progress window end to end: crafted archives, a large payload packed at
# test time from Wine's own DLLs, the window watched on three screen sizes.
add_e2e_test(e2e_unpack test_unpack.py 150)

# For scripts/measure-unpack: plain file copying under Wine, in the unpacking's piece size.
add_executable(unpack_copy unpack_copy_win.cpp)
target_link_options(unpack_copy PRIVATE -municode)
