# Packages people install, made by cpack in a build tree (scripts/package.sh makes both):
#   the host build (native preset) gives a Debian package of orvanta-cli, and so do the ARM
#   builds (linux-arm64, linux-armhf), for their architectures;
#   the Windows builds give a zip of the programs with the README and the LICENSE.
# Included before the subdirectories, since the Windows layout changes where their programs go.
set(CPACK_PACKAGE_NAME Orvanta)
set(CPACK_PACKAGE_VENDOR Kestiva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send a file to a target system over a serial line")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
# The staging folders get these modes whatever the builder's umask is.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # One folder, unpacked anywhere: the programs as built (the shipped Release build is already
  # stripped) beside the README and the LICENSE, whose lines end the Windows way so that every
  # Notepad back to XP's shows them as lines.
  set(CMAKE_INSTALL_BINDIR .)
  foreach(text README.md LICENSE)
    file(READ ${PROJECT_SOURCE_DIR}/${text} content)
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${CMAKE_BINARY_DIR}/package-texts/${text} "${content}")
    install(FILES ${CMAKE_BINARY_DIR}/package-texts/${text} DESTINATION .)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${text})
  endforeach()
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(CPACK_PACKAGE_FILE_NAME Orvanta-${PROJECT_VERSION}-win32)
  else()
    set(CPACK_PACKAGE_FILE_NAME Orvanta-${PROJECT_VERSION}-win64)
  endif()
else()
  set(ORVANTA_PACKAGE_MAINTAINER "Kestiva <orvanta@kestiva.example>"
      CACHE STRING "Maintainer of the Debian package: name and mail address")
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_NAME orvanta-cli)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ORVANTA_PACKAGE_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION comm)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  if(CMAKE_CROSSCOMPILING)
    # The ARM packages: dpkg-shlibdeps knows no symbols of a cross C library (its shlibs file asks
    # for the release it was built from, with an architecture qualifier), so debian-files.cmake
    # works the C library's least release out from the symbol versions the program asks for.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ORVANTA_DEBIAN_ARCHITECTURE})
    set(CPACK_ORVANTA_READELF ${CMAKE_READELF})
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the extended description.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[orvanta-cli sends one file as one upload frame (a 2-byte size, high byte
first, then the bytes) over a serial line at 115,200 baud, 8N1, and says
plainly if it could not. It also lists the serial ports of the machine with
what identifies each, and acts as a stand-in target that receives and checks
a frame, on a real port or on a virtual line made for the purpose.]])
  set(CPACK_STRIP_FILES ON)
  set(CPACK_ORVANTA_STRIP ${CMAKE_STRIP})
  # What Debian wants beyond `cmake --install`: see debian-files.cmake.
  set(CPACK_ORVANTA_DEBIAN_CHANGELOG ${CMAKE_CURRENT_LIST_DIR}/debian/changelog)
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian-files.cmake)
endif()

include(CPack)
