# The Debian dependency of a program that links the C library alone:
# "libc6 (>= V)", V the newest GLIBC_ symbol version the program needs.
#
# dpkg-shlibdeps works this out from the libc6 package installed for the
# program's architecture; a cross build has none installed (doing so mixes
# it with the cross toolchain's loader under qemu), so it is read off the
# program itself. The two agree on amd64, which CI checks.
#
# As a function: fourofsix_libc_depends(<program> <readelf> <variable>)
# As a script:   cmake -DPROGRAM=... [-DREADELF=readelf] -P libc-depends.cmake
function(fourofsix_libc_depends program readelf out)
  execute_process(COMMAND ${readelf} -W --dynamic --version-info ${program}
                  OUTPUT_VARIABLE info COMMAND_ERROR_IS_FATAL ANY)
  # The dynamic loader some architectures name as well is libc6's too.
  string(REGEX MATCHALL "Shared library: \\[[^]]*\\]" needed "${info}")
  list(FILTER needed EXCLUDE REGEX "\\[(libc\\.so\\.6|ld-linux[-a-z0-9_.]*\\.so\\.[0-9]|ld(64)?\\.so\\.[0-9])\\]")
  if(NOT needed STREQUAL "" OR NOT info MATCHES "\\[libc\\.so\\.6\\]")
    message(FATAL_ERROR "${program} needs more than the C library (${needed}); "
                        "its dependencies need dpkg-shlibdeps")
  endif()
  string(REGEX MATCHALL "GLIBC_[0-9]+(\\.[0-9]+)+" versions "${info}")
  set(newest 0)
  foreach(v IN LISTS versions)
    string(REPLACE "GLIBC_" "" v "${v}")
    if(v VERSION_GREATER newest)
      set(newest ${v})
    endif()
  endforeach()
  set(${out} "libc6 (>= ${newest})" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT READELF)
    set(READELF readelf)
  endif()
  fourofsix_libc_depends(${PROGRAM} ${READELF} depends)
  message("${depends}")
endif()
