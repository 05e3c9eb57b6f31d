include(GoogleTest)

# lyr_object(STEM <stem> CLASS <class name>
#            CORE <sources>       # the computation core: no host type, builds alone
#            BINDING <sources>    # the host binding with main()
#            [LIBS <libraries>]   # what the core links against (FFTW, ...)
#            [TESTS <sources>]    # gtest sources; linked with the core and the embedded host
#            [PYTESTS <scripts>]) # python oracle tests, run with the build folder as argument
#
# Builds lyr_core_<stem>, the module <class name>.so in the module folder, and the tests.
function(lyr_object)
  cmake_parse_arguments(O "" "STEM;CLASS" "CORE;BINDING;LIBS;TESTS;PYTESTS" ${ARGN})
  set(core lyr_core_${O_STEM})
  add_library(${core} STATIC ${O_CORE})
  target_include_directories(${core} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/frame/core)
  target_link_libraries(${core} PUBLIC ${O_LIBS})
  set_target_properties(${core} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

  set(module lyr_module_${O_STEM})
  add_library(${module} MODULE ${O_BINDING})
  target_link_libraries(${module} PRIVATE ${core} lyr_frame lyr_hostapi)
  set_target_properties(${module} PROPERTIES
    PREFIX "" SUFFIX ".so" OUTPUT_NAME "${O_CLASS}"
    LIBRARY_OUTPUT_DIRECTORY ${LYR_MODULE_DIR}
    CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(NOT LYR_SANITIZE)
    target_link_options(${module} PRIVATE -Wl,--no-undefined)
  endif()
  add_dependencies(lyr_modules ${module})

  if(O_TESTS)
    set(test lyr_test_${O_STEM})
    add_executable(${test} ${O_TESTS})
    target_link_libraries(${test} PRIVATE ${core} lyr_embedded_host GTest::gtest_main)
    add_dependencies(${test} ${module})
    gtest_discover_tests(${test} DISCOVERY_MODE PRE_TEST
      PROPERTIES ENVIRONMENT "LYR_MODULE_DIR=${LYR_MODULE_DIR};LYR_HOST=$<TARGET_FILE:lyr-host>")
  endif()
  foreach(script IN LISTS O_PYTESTS)
    get_filename_component(name ${script} NAME_WE)
    add_test(NAME ${O_STEM}.${name}
      COMMAND ${LYR_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/${script} $<TARGET_FILE:lyr-host> ${LYR_MODULE_DIR})
  endforeach()
endfunction()
