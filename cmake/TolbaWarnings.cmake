# Warning flags shared by every target of the project.
add_library(tolba_warnings INTERFACE)
target_compile_options(tolba_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough
  -Wno-missing-field-initializers)
if(TOLBA_WERROR)
  target_compile_options(tolba_warnings INTERFACE -Werror)
endif()
