# Folder conventions: every source folder is one static library corv_<folder>; sources are
# globbed so a new file needs no edit here. tests/<folder>/ is one GoogleTest executable
# labelled <folder>; standins/<name>/ with a main.cpp is one program standin_<name>.

set(CORV_TOP_LIBRARY "")

# A unity build (CMAKE_UNITY_BUILD, used by scripts/test to build faster on a small machine)
# compiles several sources of a target as one. These sources keep file-local names that
# another source of their target uses too, so they stay translation units of their own.
set_source_files_properties(
  engine/park_limits.cpp
  parking/park_adjust.cpp
  platform/window_fltk.cpp
  refdata/self_update.cpp
  standins/simulator/data_definitions.cpp
  standins/simulator/installed_titles.cpp
  standins/simulator/object_table.cpp
  tests/standins/service_live_array_test.cpp
  tests/support/simulator_standin.cpp
  traffic/parked_parsing.cpp
  traffic/weather_reader_thread.cpp
  tests/e2e/live_traffic_test.cpp
  tests/e2e/static_parking_run_test.cpp
  tests/engine/flight_scenarios_test.cpp
  tests/parking/park_airport_test.cpp
  tests/simlink/simclient_safety_test.cpp
  tests/simlink/simconnect_connect_test.cpp
  tests/e2e/departure_run_test.cpp
  DIRECTORY ${CMAKE_SOURCE_DIR}
  PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)

function(corv_glob_sources out dir)
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX ".*/app/main\\.cpp$")
  set(${out} ${srcs} PARENT_SCOPE)
endfunction()

# Each library links the one below it; the SimConnect library, which speaks only the wire
# protocol, links foundation (and so platform) alone, and the library above it links it beside
# the chain.
macro(corv_add_libraries)
  set(_below "")
  set(_beside "")
  foreach(folder ${ARGN})
    if(folder STREQUAL "simconnect")
      set(_dir ${CMAKE_SOURCE_DIR}/simlink/simconnect)
    else()
      set(_dir ${CMAKE_SOURCE_DIR}/${folder})
    endif()
    if(EXISTS ${_dir})
      if(folder STREQUAL "simlink")
        file(GLOB _srcs CONFIGURE_DEPENDS ${_dir}/*.cpp)
      else()
        corv_glob_sources(_srcs ${_dir})
      endif()
      if(_srcs)
        add_library(corv_${folder} STATIC ${_srcs})
        target_include_directories(corv_${folder} PUBLIC ${CMAKE_SOURCE_DIR})
        if(folder STREQUAL "platform")
          target_link_libraries(corv_${folder} PUBLIC corv_fltk)
        endif()
        if(folder STREQUAL "simconnect")
          target_link_libraries(corv_${folder} PUBLIC corv_thirdparty corv_foundation)
          set(_beside corv_${folder})
        else()
          target_link_libraries(corv_${folder} PUBLIC corv_thirdparty ${_below} ${_beside})
          set(_beside "")
          set(_below corv_${folder})
          set(CORV_TOP_LIBRARY corv_${folder})
        endif()
        list(APPEND CORV_LIBRARIES corv_${folder})
      endif()
    endif()
  endforeach()
endmacro()

function(corv_add_standins)
  # The stand-ins' own HTTP server and the tests' client: a library beside the programs.
  file(GLOB http_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/standins/http/*.cpp)
  add_library(standin_http STATIC ${http_srcs})
  target_include_directories(standin_http PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(standin_http PUBLIC Threads::Threads)
  file(GLOB dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/standins/*)
  foreach(dir ${dirs})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/main.cpp)
      get_filename_component(name ${dir} NAME)
      file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
      list(REMOVE_ITEM srcs ${dir}/main.cpp)
      # Stand-ins play the peers: they use third-party libraries only, never the client's code.
      if(srcs)
        add_library(standin_${name}_lib STATIC ${srcs})
      else()
        add_library(standin_${name}_lib INTERFACE)
      endif()
      get_target_property(_type standin_${name}_lib TYPE)
      if(_type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(standin_${name}_lib INTERFACE ${CMAKE_SOURCE_DIR})
        target_link_libraries(standin_${name}_lib INTERFACE corv_thirdparty standin_http)
      else()
        target_include_directories(standin_${name}_lib PUBLIC ${CMAKE_SOURCE_DIR})
        target_link_libraries(standin_${name}_lib PUBLIC corv_thirdparty standin_http)
      endif()
      add_executable(standin_${name} ${dir}/main.cpp)
      target_link_libraries(standin_${name} PRIVATE standin_${name}_lib)
      set_target_properties(standin_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/standins)
      set_property(GLOBAL APPEND PROPERTY CORV_STANDIN_TARGETS standin_${name})
    endif()
  endforeach()
endfunction()

function(corv_add_tests)
  include(GoogleTest)
  set(support "")
  file(GLOB support_srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/support/*.cpp)
  if(support_srcs)
    add_library(corv_testsupport STATIC ${support_srcs})
    target_include_directories(corv_testsupport PUBLIC ${CMAKE_SOURCE_DIR})
    target_link_libraries(corv_testsupport PUBLIC corv_thirdparty standin_http GTest::gtest GTest::gmock)
    target_compile_definitions(corv_testsupport PRIVATE
      CORV_BINARY_DIR="${CMAKE_BINARY_DIR}" CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    set(support corv_testsupport)
  endif()
  file(GLOB dirs LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/tests/*)
  foreach(dir ${dirs})
    get_filename_component(name ${dir} NAME)
    if(NOT IS_DIRECTORY ${dir} OR name STREQUAL "support")
      continue()
    endif()
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
    if(NOT srcs)
      continue()
    endif()
    add_executable(test_${name} ${srcs})
    set(lib corv_${name})
    if(name STREQUAL "standins")
      set(lib "")  # the stand-ins' tests use none of the program's code
    elseif(NOT TARGET ${lib})
      set(lib ${CORV_TOP_LIBRARY})
    endif()
    target_link_libraries(test_${name} PRIVATE ${lib} ${support} GTest::gtest GTest::gmock GTest::gtest_main standin_http)
    # Tests find the stand-in programs, the program and the sample data through these.
    target_compile_definitions(test_${name} PRIVATE
      CORV_BINARY_DIR="${CMAKE_BINARY_DIR}" CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # Tests of the stand-ins themselves link the stand-ins' libraries (never the client's).
    if(name STREQUAL "standins")
      get_property(standin_targets GLOBAL PROPERTY CORV_STANDIN_TARGETS)
      foreach(standin_target IN LISTS standin_targets)
        target_link_libraries(test_${name} PRIVATE ${standin_target}_lib)
      endforeach()
    endif()
    # Many tests start the stand-ins or the program as processes: build those with any test.
    get_property(standin_targets GLOBAL PROPERTY CORV_STANDIN_TARGETS)
    if(standin_targets)
      add_dependencies(test_${name} ${standin_targets})
    endif()
    if(TARGET Corv_P3D AND NOT name STREQUAL "standins")
      add_dependencies(test_${name} Corv_P3D)
    endif()
    # The time-outs only stop a hung test: a sanitizer build on a busy two-core machine runs
    # the longest end-to-end test several times slower than a healthy one. Those long tests
    # start first (COST), so that the short ones fill the gaps beside them.
    set(cost 1)
    if(name STREQUAL "e2e")
      set(cost 1000)
    endif()
    gtest_discover_tests(test_${name}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 300
      PROPERTIES LABELS ${name} TIMEOUT 1800 COST ${cost})
  endforeach()
endfunction()

function(corv_add_benchmarks)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
  if(srcs)
    add_executable(corv_bench ${srcs})
    target_link_libraries(corv_bench PRIVATE ${CORV_TOP_LIBRARY} benchmark::benchmark benchmark::benchmark_main)
    target_compile_definitions(corv_bench PRIVATE CORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    # Each benchmark file keeps its own small helpers under the same names: compiled one by one.
    set_target_properties(corv_bench PROPERTIES UNITY_BUILD OFF)
  endif()
endfunction()

# The include order of the folders, checked on every test run (label layering).
function(corv_add_layering_test)
  add_test(NAME layering COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/check_layering ${CMAKE_SOURCE_DIR})
  set_tests_properties(layering PROPERTIES LABELS layering)
endfunction()

# fuzz/<name>.cpp is one libFuzzer program <name>; the target fuzz_all builds them all.
function(corv_add_fuzzers)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
  add_custom_target(fuzz_all)
  foreach(src ${srcs})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE ${CORV_TOP_LIBRARY})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    add_dependencies(fuzz_all ${name})
  endforeach()
endfunction()
