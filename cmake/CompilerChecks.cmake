# Checks that the compiler builds correct code with this build's optimisation flags, and works around the
# faults known to hit this code base.
#
# GCC 12.2 (Debian 12's compiler) miscompiles an array of std::optional<std::string> filled and returned by
# value at -O2 and above: a store of an engaged flag is dropped by its type-based alias analysis, and the
# settings dialog crashed at its first start in a Release build. cmake/checks/optional-array.cpp is the
# reduced case. When it fails, every target is built with -fno-strict-aliasing (the analysis at fault) and
# the case is checked again; a compiler that still gets it wrong stops the configuration.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU" OR CMAKE_CROSSCOMPILING)
  return()
endif()

function(quorrel_run_optional_array_check result extra_flags)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
  separate_arguments(flags UNIX_COMMAND "${CMAKE_CXX_FLAGS} ${CMAKE_CXX_FLAGS_${config}} ${extra_flags}")
  try_run(run_result compile_result
    ${CMAKE_BINARY_DIR}/compiler-checks/optional-array${extra_flags}
    ${PROJECT_SOURCE_DIR}/cmake/checks/optional-array.cpp
    COMPILE_DEFINITIONS ${flags}
    CXX_STANDARD 17 CXX_STANDARD_REQUIRED ON
    COMPILE_OUTPUT_VARIABLE compile_output)
  if(NOT compile_result)
    message(FATAL_ERROR "The compiler check cmake/checks/optional-array.cpp does not build:\n${compile_output}")
  endif()
  if(run_result EQUAL 0)
    set(${result} ON PARENT_SCOPE)
  else()
    set(${result} OFF PARENT_SCOPE)
  endif()
endfunction()

quorrel_run_optional_array_check(QUORREL_OPTIONAL_ARRAY_OK "")
if(NOT QUORREL_OPTIONAL_ARRAY_OK)
  quorrel_run_optional_array_check(QUORREL_OPTIONAL_ARRAY_OK_NO_TBAA "-fno-strict-aliasing")
  if(NOT QUORREL_OPTIONAL_ARRAY_OK_NO_TBAA)
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} ${CMAKE_CXX_COMPILER_VERSION} miscompiles "
                        "cmake/checks/optional-array.cpp also with -fno-strict-aliasing; use another compiler")
  endif()
  message(STATUS "${CMAKE_CXX_COMPILER_ID} ${CMAKE_CXX_COMPILER_VERSION} drops stores under type-based alias "
                 "analysis (cmake/checks/optional-array.cpp): building with -fno-strict-aliasing")
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-fno-strict-aliasing>)
endif()
