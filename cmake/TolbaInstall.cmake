# What `cmake --install` puts under the prefix, the CMake package and pkg-config
# file a game consumes, and the Debian package (`cmake --build ... --target package`).
#
#   find_package(TolbaSDK 1.0 CONFIG REQUIRED)
#   target_link_libraries(game PRIVATE Tolba::sdk)       # and Tolba::render when installed
#
# Static (the default): the SDK's archives are installed and exported together, as
# Tolba::sdk with its internal parts. BUILD_SHARED_LIBS=ON: libtolba-sdk.so.1 alone.

include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TOLBA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TolbaSDK)

# Public headers: only what a game uses.
install(FILES
  include/tolba/TolbaSDK.h
  include/tolba/TolbaSDKGameRoleInfo.h
  include/tolba/TolbaSDKInitConfig.h
  include/tolba/TolbaSDKPayOrderInfo.h
  include/tolba/TolbaSdkVersion.h
  include/tolba/TolbaHost.h
  include/tolba/TolbaTraffic.h
  include/tolba/export.h
  include/tolba/record_property.h
  include/tolba/tolba.h
  ${PROJECT_BINARY_DIR}/include/tolba/tolba_version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolba COMPONENT sdk)
install(FILES
  include/tolba/platform/app_environment.h
  include/tolba/platform/clock.h
  include/tolba/platform/log.h
  include/tolba/platform/notification_center.h
  include/tolba/platform/run_loop.h
  include/tolba/platform/scoped_log_sink.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolba/platform COMPONENT sdk)
if(TARGET tolba_render)
  install(FILES include/tolba/TolbaLayer.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/tolba COMPONENT sdk)
endif()

set(TOLBA_PC_REQUIRES "nlohmann_json")
if(BUILD_SHARED_LIBS)
  install(TARGETS tolba_sdk_shared EXPORT TolbaSDKTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk NAMELINK_COMPONENT sdk)
  set(TOLBA_PC_LIBS "-ltolba-sdk")
  set(TOLBA_PC_REQUIRES_PRIVATE "libcurl libcrypto libplist-2.0")
  set(TOLBA_STATIC_PACKAGE OFF)
  if(TARGET tolba_render)
    # The renderer lives inside libtolba-sdk.so; Tolba::render names it for games
    # that ask for drawing.
    add_library(tolba_render_interface INTERFACE)
    target_link_libraries(tolba_render_interface INTERFACE tolba_sdk_shared)
    set_target_properties(tolba_render_interface PROPERTIES EXPORT_NAME render)
    install(TARGETS tolba_render_interface EXPORT TolbaSDKTargets)
  endif()
else()
  # One archive per layer, each exported under its layer's name; Tolba::sdk is
  # what a game links: the C interface and everything below it.
  set(_tolba_archives ${TOLBA_SDK_LAYER_ARCHIVES})
  set(TOLBA_PC_LIBS "")
  foreach(_archive IN LISTS _tolba_archives)
    string(REPLACE "tolba_" "" _layer ${_archive})
    set_target_properties(${_archive} PROPERTIES EXPORT_NAME ${_layer})
    string(APPEND TOLBA_PC_LIBS " -l${_archive}")
  endforeach()
  string(STRIP "${TOLBA_PC_LIBS}" TOLBA_PC_LIBS)
  set_target_properties(tolba_sdk PROPERTIES EXPORT_NAME facade)
  add_library(tolba_sdk_package INTERFACE)
  target_link_libraries(tolba_sdk_package INTERFACE tolba_capi)
  set_target_properties(tolba_sdk_package PROPERTIES EXPORT_NAME sdk)
  list(APPEND _tolba_archives tolba_sdk_package)
  if(TARGET tolba_render)
    list(PREPEND _tolba_archives tolba_render)
    set_target_properties(tolba_render PROPERTIES EXPORT_NAME render)
  endif()
  install(TARGETS ${_tolba_archives} EXPORT TolbaSDKTargets
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk)
  # Archives carry their dependencies' link lines with them.
  set(TOLBA_PC_REQUIRES "nlohmann_json libcurl libcrypto libplist-2.0")
  set(TOLBA_PC_LIBS "${TOLBA_PC_LIBS} -pthread")
  set(TOLBA_STATIC_PACKAGE ON)
endif()

# The renderer's own dependencies, found by the package before its targets (set
# before the package file is configured).
set(TOLBA_RENDER_DEPENDENCIES "")
if(TARGET tolba_render AND NOT BUILD_SHARED_LIBS)
  set(TOLBA_RENDER_DEPENDENCIES [=[
  find_dependency(litehtml CONFIG)
  if(NOT TARGET PkgConfig::TOLBA_CAIRO)
    pkg_check_modules(TOLBA_CAIRO REQUIRED IMPORTED_TARGET GLOBAL cairo pangocairo)
  endif()]=])
  # The warning flags are the build's own, never part of the installed package.
  get_target_property(_tolba_render_libs tolba_render LINK_LIBRARIES)
  if(_tolba_render_libs)
    list(TRANSFORM _tolba_render_libs REPLACE "^tolba_warnings$" "$<BUILD_INTERFACE:tolba_warnings>")
    set_property(TARGET tolba_render PROPERTY LINK_LIBRARIES "${_tolba_render_libs}")
  endif()
  get_target_property(_tolba_render_ilibs tolba_render INTERFACE_LINK_LIBRARIES)
  if(_tolba_render_ilibs)
    list(FILTER _tolba_render_ilibs EXCLUDE REGEX "tolba_warnings")
    set_property(TARGET tolba_render PROPERTY INTERFACE_LINK_LIBRARIES "${_tolba_render_ilibs}")
  endif()
endif()
install(EXPORT TolbaSDKTargets NAMESPACE Tolba:: DESTINATION ${TOLBA_CMAKE_DIR} COMPONENT sdk)
configure_package_config_file(cmake/TolbaSDKConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TolbaSDKConfig.cmake INSTALL_DESTINATION ${TOLBA_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TolbaSDKConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TolbaSDKConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/TolbaSDKConfigVersion.cmake
  DESTINATION ${TOLBA_CMAKE_DIR} COMPONENT sdk)

file(RELATIVE_PATH TOLBA_PC_TO_PREFIX "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(cmake/tolba-sdk.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tolba-sdk.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tolba-sdk.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT sdk)

# The sandbox server and the wire tool ship beside the SDK.
foreach(_tool tolba-sandbox tolba-wire)
  if(TARGET ${_tool})
    install(TARGETS ${_tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  endif()
endforeach()

# --- Debian package -----------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolba-sdk)
set(CPACK_PACKAGE_VENDOR "Tolba")
set(CPACK_PACKAGE_CONTACT "Tolba SDK developers <sdk@tolba.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tolba game-publishing SDK: headers, libraries, CMake package, sandbox server")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "nlohmann-json3-dev")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
