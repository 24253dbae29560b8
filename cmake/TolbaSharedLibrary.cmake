# The SDK as one shared library, libtolba-sdk.so.1, and what it needs of the
# archives in src/. Included from the top level after src/ and src/render/, so that
# the renderer (when built) is known.
if(TARGET tolba_render)
  # The C interface's drawing: pulled in whenever a game links the renderer.
  target_sources(tolba_render PRIVATE ${PROJECT_SOURCE_DIR}/src/capi/render_hook.cpp)
  target_link_options(tolba_render INTERFACE "LINKER:--undefined=tolbaRenderDrawHook")
endif()

# The SDK's code is position-independent and hidden unless marked TOLBA_API, so the
# same objects make the static archives and the shared library.
set(TOLBA_SDK_ARCHIVES ${TOLBA_SDK_LAYER_ARCHIVES})
if(TARGET tolba_render)
  # The renderer draws the toolkit's views, which stay inside the one shared library.
  list(PREPEND TOLBA_SDK_ARCHIVES tolba_render)
endif()
set_target_properties(${TOLBA_SDK_ARCHIVES} PROPERTIES
  POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)

# --- the SDK as one shared library ----------------------------------------------
# Linked from the archives above, so it costs one link and no compile. Only what
# carries TOLBA_API (and the C interface) is exported; the version script also
# keeps the standard library's template instances out of the dynamic table.
# Installed instead of the archives when BUILD_SHARED_LIBS is on; the exported
# symbol test checks it in every build.
file(WRITE ${PROJECT_BINARY_DIR}/src/generated/shared_library.cpp
  "// libtolba-sdk.so is linked whole from the SDK's archives.\n")
add_library(tolba_sdk_shared SHARED ${PROJECT_BINARY_DIR}/src/generated/shared_library.cpp)
set_target_properties(tolba_sdk_shared PROPERTIES CXX_VISIBILITY_PRESET hidden)
set(_tolba_whole_archives)
foreach(_archive IN LISTS TOLBA_SDK_ARCHIVES)
  list(APPEND _tolba_whole_archives $<TARGET_FILE:${_archive}>)
endforeach()
# Every member of the archives goes in; linking the targets again after them
# brings their own dependencies (libcurl, OpenSSL, libplist, ...).
target_link_libraries(tolba_sdk_shared
  PRIVATE -Wl,--whole-archive ${_tolba_whole_archives} -Wl,--no-whole-archive ${TOLBA_SDK_ARCHIVES}
  PUBLIC nlohmann_json::nlohmann_json)
target_include_directories(tolba_sdk_shared PUBLIC
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
  $<INSTALL_INTERFACE:include>)
target_link_options(tolba_sdk_shared PRIVATE
  "LINKER:--version-script=${PROJECT_SOURCE_DIR}/src/capi/tolba-sdk.map" "LINKER:--no-undefined")
set_target_properties(tolba_sdk_shared PROPERTIES
  OUTPUT_NAME tolba-sdk VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR}
  EXPORT_NAME sdk LINK_DEPENDS ${PROJECT_SOURCE_DIR}/src/capi/tolba-sdk.map)
