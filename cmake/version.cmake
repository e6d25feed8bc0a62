# Writes the program's version header and its manifest, run by the build every time (cmake -P):
#   cmake -DSOURCE_DIR=<tree> -DVERSION=<x.y.z> -DOUTPUT=<header>
#         -DMANIFEST_IN=<travik.manifest.in> -DMANIFEST=<travik.manifest> -P version.cmake
# The version is the project's (project(VERSION) in CMakeLists.txt, the one place it is written);
# in a git checkout the commit is added as "+g" and its first seven hex digits, with ".dirty" when
# tracked files have changes: "1.1.0+g1a2b3c4". A tree without git gives the version alone. The
# manifest's assembly version is the numeric x.y.z.0. Both files are only rewritten when their
# text changes, so an unchanged commit rebuilds nothing.
if(NOT VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "version.cmake: VERSION must be x.y.z, not '${VERSION}'")
endif()
set(numbers "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},0")
set(quad "${CMAKE_MATCH_1}.${CMAKE_MATCH_2}.${CMAKE_MATCH_3}.0")

set(full "${VERSION}")
find_program(GIT git)
if(GIT AND EXISTS "${SOURCE_DIR}/.git")
  # safe.directory: a tree owned by another user (a release built as someone else) still counts.
  set(git ${GIT} -c safe.directory=* -C "${SOURCE_DIR}")
  execute_process(COMMAND ${git} rev-parse --verify HEAD RESULT_VARIABLE failed
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed AND commit MATCHES "^[0-9a-f]+$")
    # Seven digits always: git's own abbreviation grows with the objects of the clone, and two
    # clones of one commit must give the same bytes.
    string(SUBSTRING "${commit}" 0 7 short)
    set(full "${VERSION}+g${short}")
    execute_process(COMMAND ${git} status --porcelain --untracked-files=no
                    RESULT_VARIABLE failed OUTPUT_VARIABLE changes ERROR_QUIET)
    if(NOT failed AND NOT changes STREQUAL "")
      string(APPEND full ".dirty")
    endif()
  endif()
endif()

set(text "// Made by the build (cmake/version.cmake): the program's version.
#ifndef TRAVIK_VERSION_H
#define TRAVIK_VERSION_H
#define TRAVIK_VERSION \"${full}\"
#define TRAVIK_VERSION_NUMBERS ${numbers}
#define TRAVIK_VERSION_QUAD \"${quad}\"
#endif
")
function(write_if_changed path text)
  set(old "")
  if(EXISTS "${path}")
    file(READ "${path}" old)
  endif()
  if(NOT old STREQUAL text)
    file(WRITE "${path}" "${text}")
  endif()
endfunction()

write_if_changed("${OUTPUT}" "${text}")
set(TRAVIK_VERSION_QUAD "${quad}")
file(READ "${MANIFEST_IN}" manifest)
string(CONFIGURE "${manifest}" manifest @ONLY)
write_if_changed("${MANIFEST}" "${manifest}")
