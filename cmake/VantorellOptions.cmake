# Compiler settings shared by every target of the project.

add_library(vantorell_warnings INTERFACE)
add_library(vantorell::warnings ALIAS vantorell_warnings)
target_compile_options(vantorell_warnings INTERFACE -Wall -Wextra -Wno-unused-parameter)

# The cross-fade and the blend depend on exact single- and double-precision rounding:
# no fused multiply-add contraction, SSE arithmetic (the x86-64 default), no fast-math.
add_compile_options(-ffp-contract=off)

if(VANTORELL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VANTORELL_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "VANTORELL_FUZZ needs clang (libFuzzer)")
endif()
if(VANTORELL_FUZZ)
  # Coverage feedback from the code under test, not only from the fuzz target's own file.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# vantorell_add_layer(NAME [DEPS...]): one static library per subsystem folder, built from
# every .cpp in the folder, so that work in one subsystem never edits another's build file.
function(vantorell_add_layer name)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(vantorell_${name} STATIC ${sources})
    target_include_directories(vantorell_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(vantorell_${name} PUBLIC ${ARGN} PRIVATE vantorell::warnings)
    # Linked into the shared libraries too (src/api): position-independent, and nothing of it
    # exported from them.
    set_target_properties(vantorell_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON
      CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  else()
    add_library(vantorell_${name} INTERFACE)
    target_include_directories(vantorell_${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(vantorell_${name} INTERFACE ${ARGN})
  endif()
  add_library(vantorell::${name} ALIAS vantorell_${name})
endfunction()
