# nlohmann-json, header only, from the build machine's packages. A cross build
# must not search the machine's own include folder, where the C library's
# headers are, so the library's folder alone is copied into the build tree.
find_path(SNDSCOUT_JSON_INCLUDE nlohmann/json.hpp
          PATHS /usr/include /usr/local/include
          NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(json_copy ${PROJECT_BINARY_DIR}/third_party/include)
file(COPY ${SNDSCOUT_JSON_INCLUDE}/nlohmann DESTINATION ${json_copy})
add_library(sndscout_json_library INTERFACE)
# SYSTEM: the library's own code is not held to this project's warnings.
target_include_directories(sndscout_json_library SYSTEM INTERFACE ${json_copy})
