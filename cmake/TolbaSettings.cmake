# Build-time settings of the SDK, compiled in as constants (see src/build_settings.h.in).

set(TOLBA_WIRE_KEY "CfgK9sNa-x7z.1Ge2PbApTkOSBiwFLUYqlEH8MVmoIyj4WdcRZX630tJQDrnh5vu"
    CACHE STRING "The 64-character key table of the wire codec, shared with the servers")
set(TOLBA_DEFAULT_BASE_URL "https://sdk.tolba.example"
    CACHE STRING "Server base URL used when Tolba.plist has no \"url\" (no trailing slash)")
set(TOLBA_API_ORIGIN "https://api.tolba.example"
    CACHE STRING "Origin sent as Referer when loading the WeChat H5 payment page")

# The key table must be 64 distinct printable ASCII characters.
string(LENGTH "${TOLBA_WIRE_KEY}" _tolba_key_len)
if(NOT _tolba_key_len EQUAL 64)
  message(FATAL_ERROR "TOLBA_WIRE_KEY must be 64 characters long, got ${_tolba_key_len}")
endif()
if(NOT TOLBA_WIRE_KEY MATCHES "^[!-~]+$")
  message(FATAL_ERROR "TOLBA_WIRE_KEY must hold printable ASCII characters only (no blanks)")
endif()
foreach(_i RANGE 0 63)
  string(SUBSTRING "${TOLBA_WIRE_KEY}" ${_i} 1 _c)
  string(FIND "${TOLBA_WIRE_KEY}" "${_c}" _first)
  if(NOT _first EQUAL _i)
    message(FATAL_ERROR "TOLBA_WIRE_KEY holds the character '${_c}' twice")
  endif()
endforeach()
if(TOLBA_WIRE_KEY MATCHES "[\"\\\\]")
  message(FATAL_ERROR "TOLBA_WIRE_KEY must not contain a quote or a backslash")
endif()
if(TOLBA_DEFAULT_BASE_URL MATCHES "/$")
  message(FATAL_ERROR "TOLBA_DEFAULT_BASE_URL must not end with a slash")
endif()
