# Builds every fuzz target with the replay driver and runs it over its corpus and the test
# fixtures of its format under ctest.
file(GLOB VESK_FUZZERS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*_fuzz.cpp)
foreach(src ${VESK_FUZZERS})
  get_filename_component(name ${src} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" format ${name})
  add_executable(${name}_replay ${src} ${CMAKE_CURRENT_LIST_DIR}/replay_main.cpp)
  target_link_libraries(${name}_replay PRIVATE vesk_discovery)
  add_test(NAME fuzz_replay.${format}
           COMMAND ${name}_replay ${CMAKE_CURRENT_LIST_DIR}/corpus/${format}
                   ${PROJECT_SOURCE_DIR}/tests/fixtures/${format})
endforeach()
