# Read by cpack, so that the .deb is the same from every build of a commit: its times are the
# build's source date (reproducible.cmake) unless the caller sets SOURCE_DATE_EPOCH; and once
# CPack has made it, dpkg-deb packs it again, since CPack's own writer gives the members of the
# package the modes that the caller's umask leaves.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_MIVO_SOURCE_DATE})
endif()
foreach(deb IN LISTS CPACK_PACKAGE_FILES)  # set only once the package is made
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/repacked)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
