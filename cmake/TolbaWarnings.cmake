# Warning flags shared by every target of the project.
add_library(tolba_warnings INTERFACE)
target_compile_options(tolba_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  -Wno-missing-field-initializers)
if(TOLBA_WERROR)
  target_compile_options(tolba_warnings INTERFACE -Werror)
endif()
# GCC 12 reports overlapping copies inside std::string (-Wrestrict) and null
# dereferences inside inlined library code (-Wnull-dereference) at -O2 and
# above where there are none; keep optimised builds usable with -Werror.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(tolba_warnings INTERFACE
    $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-null-dereference>)
endif()
