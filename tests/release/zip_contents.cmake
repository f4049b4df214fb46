# Lists the release zip and checks that it holds exactly the expected entries,
# each with the same bytes as the file it was made from.
#   cmake -DZIP=FILE.zip -DENTRIES="NAME=PATH|NAME=PATH..." -DWORK_DIR=DIR -P zip_contents.cmake
cmake_minimum_required(VERSION 3.25)
foreach(variable ZIP ENTRIES WORK_DIR)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "zip_contents.cmake needs -D${variable}=...")
  endif()
endforeach()
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "no zip at ${ZIP}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf "${ZIP}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot list ${ZIP}: ${status}")
endif()
string(REPLACE "\n" ";" listed "${listing}")
list(REMOVE_ITEM listed "")
list(SORT listed)

string(REPLACE "|" ";" entries "${ENTRIES}")
set(expected "")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "=.*" "" name "${entry}")
  list(APPEND expected "${name}")
endforeach()
list(SORT expected)
if(NOT listed STREQUAL expected)
  message(FATAL_ERROR "${ZIP} holds [${listed}], expected [${expected}]")
endif()
message(STATUS "${ZIP} holds [${listed}]")

# A stale or wrong file under the right name is caught by its bytes.
file(REMOVE_RECURSE "${WORK_DIR}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK_DIR}")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "=.*" "" name "${entry}")
  string(REGEX REPLACE "^[^=]*=" "" path "${entry}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${WORK_DIR}/${name}" "${path}"
                  RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${name} in the zip differs from ${path}")
  endif()
endforeach()
