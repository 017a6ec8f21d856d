# `make deb`: three Debian packages made by CPack from the install components, in a build configured
# with the deb preset (prefix /usr, Debian's build flags):
#   libquandelstk6      the shared library and the code table
#   libquandelstk-dev   headers, static library, CMake package, pkg-config file
#   quandelstk-tools    the CLI and the simulator, their man pages, the CLI's bash completion
#   python3-quandelstk  the Python module and its type stubs (when the binding is built)
include(GNUInstallDirs)

set(QSTK_DEB_MAINTAINER "QuandelSTK6 maintainers <maintainers@users.noreply.c-seed-1a9e1255.example>"
    CACHE STRING "Maintainer field of the Debian packages")
set(QSTK_DEB_REVISION 1 CACHE STRING "Debian revision of the packages (the part after the hyphen)")
set(deb_version ${PROJECT_VERSION}-${QSTK_DEB_REVISION})

# Every package carries its copyright and changelog; these are for packages only, so a plain
# `cmake --install` leaves them out.
set(deb_changelog ${PROJECT_BINARY_DIR}/deb/changelog.Debian.gz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/deb/changelog)
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/deb)
execute_process(COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/deb/changelog
                OUTPUT_FILE ${deb_changelog} COMMAND_ERROR_IS_FATAL ANY)
set(deb_components lib:libquandelstk6 dev:libquandelstk-dev tools:quandelstk-tools)
if(TARGET quandelstk_python)
  list(APPEND deb_components python:python3-quandelstk)
endif()
foreach(component_package IN LISTS deb_components)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright ${deb_changelog}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  # The lintian warnings we keep, each with its reason.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/lintian-overrides RENAME ${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quandelstk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${QSTK_DEB_MAINTAINER})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
# Installed with DESTDIR, so that the prefix written into quandelstk.pc is /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL lib dev tools)
if(TARGET quandelstk_python)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QSTK_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QSTK_DEB_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends on the system's libraries from what the binaries link (dpkg-shlibdeps), and a shlibs
# file so that packages built against libquandelstk.so.6 depend on this version or later.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
# Between our packages, the exact version: the headers and the tools match one build of the library.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_LIB_PACKAGE_NAME libquandelstk6)
set(CPACK_DEBIAN_LIB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_LIB_DESCRIPTION "library that drives a GSM modem on a serial port
QuandelSTK6 initialises a GSM modem and settles its SIM PIN, sends and reads
SMS (text mode, and 7-bit, UCS2 and concatenated PDUs it codes itself),
handles delivery reports, tests whether a number answers a call, and talks
USSD, the SIM phonebook and the SIM Application Toolkit.
.
This package holds the shared library and the character code table it reads.")
# The library package registers with the dynamic loader through dpkg's ldconfig trigger. CPack
# would also write a postinst and a postrm that run ldconfig themselves, which the trigger replaces
# (and which could not run in a scratch root): naming scripts of those names that do not exist keeps
# it from writing them, at the cost of a "missing file" warning from cpack for each.
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/triggers ${PROJECT_BINARY_DIR}/deb/lib/triggers COPYONLY)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/deb/lib/triggers
    ${PROJECT_BINARY_DIR}/deb/lib/no-scripts/postinst ${PROJECT_BINARY_DIR}/deb/lib/no-scripts/postrm)
set(CPACK_DEBIAN_LIB_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libquandelstk-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DEPENDS lib)
set(CPACK_DEBIAN_DEV_DESCRIPTION "library that drives a GSM modem on a serial port - development files
QuandelSTK6 initialises a GSM modem and settles its SIM PIN, sends and reads
SMS, handles delivery reports, and talks USSD, the SIM phonebook and the SIM
Application Toolkit.
.
This package holds the C++20 headers, the static library, the CMake package
(find_package(QuandelSTK6)) and the pkg-config file (quandelstk).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME quandelstk-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION comm)
# The programs link the library statically but read its code table from libquandelstk6.
set(CPACK_COMPONENT_TOOLS_DEPENDS lib)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "command-line tool and simulated modem for QuandelSTK6
quandelstk runs every operation of the QuandelSTK6 library from a shell:
initialise a GSM modem, query it, send and read SMS, delivery reports, USSD,
the SIM phonebook and the SIM toolkit, plus an interactive shell and a guided
demo. Without a port it talks to a built-in simulated modem.
.
quandelstk-modemsim serves the same simulated modem and SIM on a
pseudo-terminal, for developing without hardware.")

# The module is built for one Python version (its file name says which: cpython-311), so the package
# asks for that version of python3, as dh-python's ${python3:Depends} would. It links the shared
# library: dpkg-shlibdeps finds that in the library package's staging folder (it is not installed
# here) and leaves it to the dependency on libquandelstk6 of the same version.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-quandelstk)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_COMPONENT_PYTHON_DEPENDS lib)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-Linux/lib${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
if(QSTK_PYTHON_VERSION)
  string(REPLACE "." ";" python_version_parts ${QSTK_PYTHON_VERSION})
  list(GET python_version_parts 1 python_minor)
  math(EXPR python_next_minor "${python_minor} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3 (>= ${QSTK_PYTHON_VERSION}~), python3 (<< 3.${python_next_minor})")
endif()
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python binding of QuandelSTK6, a library that drives a GSM modem
import quandelstk gives Python scripts the five classes of QuandelSTK6 as its
COM server gives them to Windows scripts: Modem, SMS, SIMToolKit, USSD and
Phonebook, with their members under the same names, the enumerations as
enum.IntEnum and the library's run-time errors as quandelstk.RuntimeError.
The GIL is released while the library waits on the modem.
.
This package holds the extension module and its type stubs.")

include(CPack)

# The packages' test makes them itself (cpack), then lists, lints, installs and uses them.
option(QSTK_TEST_DEB_PACKAGES "Test the Debian packages with ctest (the deb preset does)" OFF)
if(QSTK_TEST_DEB_PACKAGES)
  enable_testing()
  add_test(NAME packaging.deb
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/packaging/deb_test.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}
            ${CMAKE_INSTALL_LIBDIR} ${PROJECT_VERSION} ${deb_version} ${CMAKE_CXX_COMPILER}
            $<IF:$<TARGET_EXISTS:quandelstk_python>,python,no-python>)
  set_tests_properties(packaging.deb PROPERTIES TIMEOUT 1500)
endif()
