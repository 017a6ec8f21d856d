# Compile and link the way Debian builds its packages: dpkg-buildflags with every hardening
# feature, so that the packages carry what lintian looks for (fortified functions, read-only
# relocations, immediate binding, stack protector).
find_program(QSTK_DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT QSTK_DPKG_BUILDFLAGS)
  message(FATAL_ERROR "QSTK_DEBIAN_BUILDFLAGS needs dpkg-buildflags: install the Debian package dpkg-dev "
                      "(make deps does), or configure without QSTK_DEBIAN_BUILDFLAGS")
endif()
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${QSTK_DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE debian_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endforeach()
string(APPEND CMAKE_CXX_FLAGS " ${debian_CPPFLAGS} ${debian_CXXFLAGS}")
foreach(kind EXE SHARED MODULE)
  string(APPEND CMAKE_${kind}_LINKER_FLAGS " ${debian_LDFLAGS}")
endforeach()
