# Run by CPack after installing into its staging tree: compress the man
# pages as Debian policy wants (-n: no name or time stamp, reproducible).
file(GLOB_RECURSE pages LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.[1-9]")
foreach(page IN LISTS pages)
  if(page MATCHES "/man/man[1-9]/")
    execute_process(COMMAND gzip -9nf "${page}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
