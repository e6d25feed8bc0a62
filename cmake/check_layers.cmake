# Refuses an #include that runs against the layers (cmake -P, run by the build before a layer's
# library compiles; see travik_layer() in CMakeLists.txt):
#   cmake -DROOT=<tree> -DLAYER=<folder> -DUSES=<folders it may use> -DFOLDERS=<every layer folder>
#         -DSTAMP=<file written when all is well> -P check_layers.cmake
# An include of "<folder>/..." where <folder> is one of the project's layer folders must name
# LAYER itself or a folder of USES; system and library headers (<...>) and names without a folder
# are not the layers' business. A refusal names the file and line and what the folder may use.
file(GLOB files "${ROOT}/${LAYER}/*.h" "${ROOT}/${LAYER}/*.cpp")
set(allowed ${LAYER} ${USES})
set(refused "")
foreach(file ${files})
  file(STRINGS "${file}" lines)
  set(number 0)
  foreach(line IN LISTS lines)
    math(EXPR number "${number} + 1")
    if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/[^\"]*\"")
      set(folder "${CMAKE_MATCH_1}")
      list(FIND FOLDERS "${folder}" is_layer)
      list(FIND allowed "${folder}" is_allowed)
      if(NOT is_layer EQUAL -1 AND is_allowed EQUAL -1)
        file(RELATIVE_PATH shown "${ROOT}" "${file}")
        string(STRIP "${line}" include)
        string(REPLACE ";" ", " uses "${USES}")
        if(uses STREQUAL "")
          set(uses "nothing but itself")
        endif()
        string(APPEND refused "${shown}:${number}: ${LAYER}/ may not include ${folder}/ "
                              "(${include}); it may use ${uses}\n")
      endif()
    endif()
  endforeach()
endforeach()
if(NOT refused STREQUAL "")
  message(FATAL_ERROR "An include runs against the layers "
                      "(platform <- core, toolkit <- ui <- app):\n${refused}")
endif()
file(WRITE "${STAMP}" "")
