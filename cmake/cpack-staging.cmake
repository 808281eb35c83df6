# Run by CPack after installing into its staging tree. Compresses the man
# pages and the changelog as Debian policy wants (-n: no name or time stamp,
# so the result is reproducible), drops the compilers' version notes
# (.comment) from the stripped programs, as Debian's own packaging does, and
# gives every staged file the time SOURCE_DATE_EPOCH: rpmbuild takes file
# times from the tree as they are, and only ever lowers a later one.
file(GLOB_RECURSE docs LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(doc IN LISTS docs)
  if(doc MATCHES "/man/man[1-9]/[^/]*\\.[1-9]$" OR doc MATCHES "/doc/[^/]*/changelog$")
    execute_process(COMMAND gzip -9nf "${doc}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(doc MATCHES "/bin/[^/]*$")
    execute_process(COMMAND "${CPACK_STRIP_PROGRAM}" --remove-section=.comment "${doc}"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${staged} COMMAND_ERROR_IS_FATAL ANY)
# The staged files' paths as if installed on this machine (/usr/bin/...),
# where the package's files go: no list of them is left for removal by hand.
file(REMOVE "${fourofsix_staged_manifest}")
