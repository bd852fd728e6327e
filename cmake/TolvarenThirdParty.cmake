# The third-party files that Debian does not package. The build fetches them
# itself with scripts/fetch_third_party.sh, which pins each npm tarball by its
# SHA-1 and each patch by its SHA-256, so that `colcon build` and a plain
# `cmake` work from a fresh clone. What is complete is read from the script's
# own tables: a pin or a patch that changes there makes the next configure
# fetch again.
#   tolvaren_require_third_party(DIR ARCH)
# DIR is the folder the script fills, ARCH x64 or arm64. With
# TOLVAREN_FETCH_THIRD_PARTY off, a missing file stops the configure with the
# command to run instead.

set(_tolvaren_fetch_script
    "${CMAKE_CURRENT_LIST_DIR}/../scripts/fetch_third_party.sh")
get_filename_component(_tolvaren_fetch_script "${_tolvaren_fetch_script}"
                       ABSOLUTE)

# Sets ${out} to the first of the files a complete DIR holds that is missing,
# or to "" when there is none.
function(_tolvaren_first_missing_third_party dir arch out)
  file(STRINGS "${_tolvaren_fetch_script}" lines)
  set(needed
    "${dir}/cppjieba/include/cppjieba/Jieba.hpp"
    "${dir}/onnxruntime-include/onnxruntime_c_api.h"
    "${dir}/onnxruntime-lib-1.29.0-${arch}/libonnxruntime.so.1"
    "${dir}/onnxruntime-lib-1.15.1-${arch}/libonnxruntime.so.1")
  foreach(line IN LISTS lines)
    # "name@version  sha1  folder": the package's fetch stamp.
    if(line MATCHES "^  \"[^ \"]+@[^ \"]+ ([0-9a-f]+) ([^ \"]+)\"$")
      list(APPEND needed "${dir}/${CMAKE_MATCH_2}/.fetched-${CMAKE_MATCH_1}")
    # "file.patch  sha256  folder  tree": the patched tree's stamp.
    elseif(line MATCHES "^  \"([^ \"]+)\\.patch ([0-9a-f]+) ([^ \"]+) ([^ \"]+)\"$")
      list(APPEND needed
        "${dir}/${CMAKE_MATCH_3}/${CMAKE_MATCH_4}/.patched-${CMAKE_MATCH_1}-${CMAKE_MATCH_2}")
    endif()
  endforeach()
  foreach(file IN LISTS needed)
    if(NOT EXISTS "${file}")
      set(${out} "${file}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

function(tolvaren_require_third_party dir arch)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               "${_tolvaren_fetch_script}")
  _tolvaren_first_missing_third_party("${dir}" "${arch}" missing)
  if(missing STREQUAL "")
    return()
  endif()
  set(by_hand "run scripts/fetch_third_party.sh ${arch} where npm reaches its "
              "registry (TOLVAREN_THIRD_PARTY_DIR=${dir} in its environment), "
              "then configure again")
  if(NOT TOLVAREN_FETCH_THIRD_PARTY)
    message(FATAL_ERROR "${missing} is missing: " ${by_hand})
  endif()
  message(STATUS "Fetching the pinned third-party files into ${dir}")
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env "TOLVAREN_THIRD_PARTY_DIR=${dir}"
            bash "${_tolvaren_fetch_script}" "${arch}"
    RESULT_VARIABLE failed)
  _tolvaren_first_missing_third_party("${dir}" "${arch}" missing)
  if(failed OR NOT missing STREQUAL "")
    message(FATAL_ERROR "fetching the pinned third-party files into ${dir} "
                        "failed (above): " ${by_hand})
  endif()
endfunction()
