# The fuzz build (QUENLO_FUZZ=ON): every library is compiled with libFuzzer's
# coverage instrumentation and ASan+UBSan, so the fuzzers see and check the
# code they drive; fuzz/ links the fuzzer executables. Needs clang (Debian's
# clang-14 with libclang-rt-14-dev; scripts/fuzz.sh installs and uses it).

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "QUENLO_FUZZ needs clang, e.g. -DCMAKE_CXX_COMPILER=clang++-14")
endif()
if(NOT QUENLO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUENLO_FUZZ brings its own sanitizers; leave QUENLO_SANITIZE empty")
endif()

add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
