# The compiler and linker flags Debian builds its own packages with (dpkg-buildflags), all hardening on:
# fortified functions, stack protector, read-only relocations bound at start.
find_program(ZARN_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
      ${ZARN_DPKG_BUILDFLAGS} --get ${kind}
    OUTPUT_VARIABLE ZARN_DEB_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
string(APPEND CMAKE_CXX_FLAGS " ${ZARN_DEB_CPPFLAGS} ${ZARN_DEB_CXXFLAGS}")
string(APPEND CMAKE_EXE_LINKER_FLAGS " ${ZARN_DEB_LDFLAGS}")
