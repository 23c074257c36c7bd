# Run by cpack on the staged files of the Debian package, before it packs them: what Debian
# policy wants beyond what `cmake --install` gives. The program loses the compiler's notes as
# well as its symbols (as Debian's own packages do); the manual page is gzipped; the documentation
# folder gets the copyright file (the LICENSE, in Debian's machine-readable form), the changelog
# (gzipped) and the README (gzipped, as it is larger than 4 kB).
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/${CPACK_DEBIAN_PACKAGE_NAME})

function(gzip_file file)  # replaces FILE by FILE.gz; -n keeps name and time out, for reproducibility
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

execute_process(COMMAND ${CPACK_ORVANTA_STRIP} --remove-section=.comment --remove-section=.note
                        ${root}/bin/orvanta-cli RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "strip ${root}/bin/orvanta-cli failed")
endif()

# A cross build's package names the C library it needs here. Debian's C library gives each
# symbol version the release that brought it as the least one (so the host build's dpkg-shlibdeps
# says too): the highest version the program asks for is the release it needs. The program may
# need nothing else, or the package would not say so.
if(CPACK_ORVANTA_READELF)
  execute_process(COMMAND ${CPACK_ORVANTA_READELF} --dynamic --version-info ${root}/bin/orvanta-cli
                  OUTPUT_VARIABLE elf RESULT_VARIABLE failed)
  string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${elf}")
  string(REGEX REPLACE "Shared library: \\[([^]]+)\\]" "\\1" needed "${needed}")
  list(FILTER needed EXCLUDE REGEX "^(libc\\.so\\.6|libm\\.so\\.6|ld-linux[-a-z0-9]*\\.so\\.[0-9]+)$")
  string(REGEX MATCHALL "GLIBC_[0-9]+\\.[0-9]+(\\.[0-9]+)?" versions "${elf}")
  list(TRANSFORM versions REPLACE "^GLIBC_" "")
  list(SORT versions COMPARE NATURAL ORDER DESCENDING)
  if(failed OR needed OR NOT versions)
    message(FATAL_ERROR "orvanta-cli: no C library version found, or it needs more (${needed})")
  endif()
  list(GET versions 0 least)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${least})")
endif()

set(page ${root}/share/man/man1/orvanta-cli.1)
if(NOT EXISTS ${page})
  message(FATAL_ERROR "the manual page is not staged at ${page}")
endif()
gzip_file(${page})

file(MAKE_DIRECTORY ${doc})
# The licence text starts at its first paragraph; each line is indented, blank ones become " ."
file(READ ${CPACK_RESOURCE_FILE_LICENSE} license)
string(REGEX REPLACE "^.*\n(Permission is hereby granted)" "\\1" license "${license}")
string(REGEX REPLACE "\n+$" "" license "${license}")
string(REPLACE "\n\n" "\n.\n" license "${license}")
string(REPLACE "\n" "\n " license "${license}")
file(WRITE ${doc}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Orvanta
Upstream-Contact: ${CPACK_DEBIAN_PACKAGE_MAINTAINER}

Files: *
Copyright: 2026 Kestiva
License: Expat
 ${license}
")

# A package whose version has no Debian revision is native: its changelog is changelog.gz.
file(COPY_FILE ${CPACK_ORVANTA_DEBIAN_CHANGELOG} ${doc}/changelog)
gzip_file(${doc}/changelog)
file(COPY_FILE ${CPACK_RESOURCE_FILE_README} ${doc}/README.md)
gzip_file(${doc}/README.md)
file(CHMOD ${doc}/copyright ${doc}/changelog.gz ${doc}/README.md.gz ${page}.gz
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
