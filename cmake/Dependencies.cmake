# Third-party libraries, all from Debian packages (see scripts/setup).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(pugixml REQUIRED)
find_package(CURL REQUIRED)
find_package(fmt REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(Microsoft.GSL REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
find_package(X11 REQUIRED)
pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)

# FLTK 1.3 ships fltk-config; its CMake package on Debian is unreliable, so ask the script.
find_program(FLTK_CONFIG fltk-config REQUIRED)
execute_process(COMMAND ${FLTK_CONFIG} --cxxflags OUTPUT_VARIABLE FLTK_CXXFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${FLTK_CONFIG} --ldflags OUTPUT_VARIABLE FLTK_LDFLAGS OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(FLTK_CXXFLAGS_LIST UNIX_COMMAND "${FLTK_CXXFLAGS}")
separate_arguments(FLTK_LDFLAGS_LIST UNIX_COMMAND "${FLTK_LDFLAGS}")
add_library(corv_fltk INTERFACE)
# FLTK's own headers are not -Wextra clean: include them as system headers.
foreach(flag IN LISTS FLTK_CXXFLAGS_LIST)
  if(flag MATCHES "^-I(.*)")
    target_include_directories(corv_fltk SYSTEM INTERFACE ${CMAKE_MATCH_1})
  elseif(NOT flag MATCHES "^-O|^-g|^-W|^-f")
    target_compile_options(corv_fltk INTERFACE ${flag})
  endif()
endforeach()
target_link_libraries(corv_fltk INTERFACE ${FLTK_LDFLAGS_LIST} X11::X11)

# Everything the project's own libraries may use.
add_library(corv_thirdparty INTERFACE)
target_link_libraries(corv_thirdparty INTERFACE
  Threads::Threads pugixml::pugixml CURL::libcurl fmt::fmt nlohmann_json::nlohmann_json
  Microsoft.GSL::GSL PkgConfig::SODIUM PkgConfig::LIBZIP)
