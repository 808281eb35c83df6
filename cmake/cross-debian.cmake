# Cross build with Debian's cross compiler for FOUROFSIX_CROSS (aarch64,
# s390x, ...), the tests run under qemu-user. Needs g++-<arch>-linux-gnu,
# qemu-user and the target's libgtest-dev (dpkg --add-architecture).
if(NOT FOUROFSIX_CROSS)
  message(FATAL_ERROR "set FOUROFSIX_CROSS to the target's architecture, e.g. aarch64")
endif()
# The compiler checks' inner projects need it too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES FOUROFSIX_CROSS)
set(triplet ${FOUROFSIX_CROSS}-linux-gnu)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${FOUROFSIX_CROSS})
set(CMAKE_CXX_COMPILER ${triplet}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triplet})
# CTest, test discovery and the tests' own children run target binaries
# through this; -L finds the target's C library and dynamic loader.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${FOUROFSIX_CROSS} -L /usr/${triplet})
