# The one time that the artefacts carry, so that every build of a commit gives the same bytes:
# SOURCE_DATE_EPOCH where the build environment sets it, as distributions do, or else the time of
# the last commit (configuring again when the checkout moves). MIVO_WITH_SOURCE_DATE runs a
# command with it set.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(MIVO_SOURCE_DATE $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git log -1 --format=%ct WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE MIVO_SOURCE_DATE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  execute_process(COMMAND git rev-parse --git-path logs/HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                  OUTPUT_VARIABLE moved OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(MIVO_SOURCE_DATE STREQUAL "")  # a source tree without its history
    file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt MIVO_SOURCE_DATE "%s" UTC)
  else()
    cmake_path(ABSOLUTE_PATH moved BASE_DIRECTORY ${PROJECT_SOURCE_DIR})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${moved})
  endif()
endif()
set(MIVO_WITH_SOURCE_DATE ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${MIVO_SOURCE_DATE})
