# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
add_test([=[core]=] "/usr/bin/wine" "/work/main/build/tests/test_core.exe")
set_tests_properties([=[core]=] PROPERTIES  TIMEOUT "600" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;28;add_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[host]=] "/usr/bin/wine" "/work/main/build/tests/test_host.exe")
set_tests_properties([=[host]=] PROPERTIES  TIMEOUT "600" _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;28;add_test;/work/main/tests/CMakeLists.txt;0;")
subdirs("../googletest")
