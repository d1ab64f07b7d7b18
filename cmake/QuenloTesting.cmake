# Helpers shared by the test CMakeLists.
#
# A cross build runs its programs through an emulator (see
# cmake/powerpc-linux-gnu.cmake): ctest does so through
# CMAKE_CROSSCOMPILING_EMULATOR, but a test that starts quenlo or cfgserver as
# a child process must prepend the emulator itself, because the host kernel
# cannot execute target binaries.

# Gives <target> the compile definition QUENLO_CHILD_EMULATOR: a string
# literal holding the emulator command as a ';'-separated list, for example
# "/usr/bin/qemu-ppc;-L;/usr/powerpc-linux-gnu". Taken from the cache
# variable QUENLO_CHILD_EMULATOR when that is set, else from
# CMAKE_CROSSCOMPILING_EMULATOR. Native builds get no definition, so test
# code can use #ifdef QUENLO_CHILD_EMULATOR.
function(quenlo_add_test_definitions target)
  if(QUENLO_CHILD_EMULATOR)
    set(emulator "${QUENLO_CHILD_EMULATOR}")
  elseif(CMAKE_CROSSCOMPILING_EMULATOR)
    set(emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  else()
    return()
  endif()
  # Escaped, or CMake would split the definition at each ';'; the whole
  # argument is quoted for the same reason.
  string(REPLACE ";" "\\;" escaped_emulator "${emulator}")
  target_compile_definitions(${target} PRIVATE "QUENLO_CHILD_EMULATOR=\"${escaped_emulator}\"")
endfunction()
