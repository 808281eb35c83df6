# Cross build with Debian's cross compiler for FOUROFSIX_CROSS, a Debian
# architecture named in cmake/architectures.txt (arm64, i386, ...);
# the tests run under qemu-user. Needs the target's g++ cross compiler,
# qemu-user and the target's libgtest-dev (dpkg --add-architecture).
if(NOT FOUROFSIX_CROSS)
  message(FATAL_ERROR "set FOUROFSIX_CROSS to a Debian architecture, e.g. arm64")
endif()
# The compiler checks' inner projects need it too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FOUROFSIX_CROSS)
# The header line names the columns; the row is the one whose first
# column is FOUROFSIX_CROSS.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/architectures.txt header REGEX "^debian ")
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/architectures.txt row REGEX "^${FOUROFSIX_CROSS} ")
if(NOT row OR NOT header)
  message(FATAL_ERROR "${FOUROFSIX_CROSS} is not in cmake/architectures.txt")
endif()
string(REGEX MATCHALL "[^ ]+" header "${header}")
string(REGEX MATCHALL "[^ ]+" row "${row}")
foreach(column triplet multiarch emulator rpm gtest)
  list(FIND header ${column} at)
  list(GET row ${at} ${column})
endforeach()
set(FOUROFSIX_RPM_ARCH ${rpm})
# Where Debian packages no GoogleTest for the target, it is built from the
# sources of the googletest package.
if(gtest STREQUAL "src")
  set(FOUROFSIX_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources, built for the target")
endif()
string(REGEX REPLACE "-.*" "" cpu ${triplet})

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${cpu})
set(CMAKE_CXX_COMPILER ${triplet}-g++)
# For projects built along with it (GoogleTest, where it is built here).
set(CMAKE_C_COMPILER ${triplet}-gcc)
# Where find_package looks for the target's libraries (its GoogleTest).
set(CMAKE_LIBRARY_ARCHITECTURE ${multiarch})
# CTest, test discovery and the tests' own children run target binaries
# through this. -L finds the target's C library and dynamic loader; the
# search path keeps the target's loader from taking a library of the build
# machine's own for another architecture (libc6-i386's /lib32) off the build
# machine's /etc/ld.so.cache, which it reads for want of one of its own.
set(CMAKE_CROSSCOMPILING_EMULATOR ${emulator} -L /usr/${triplet}
    -E LD_LIBRARY_PATH=/usr/${triplet}/lib)
