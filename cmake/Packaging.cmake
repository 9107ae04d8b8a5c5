# What an installation holds beside the programs, and the Debian package that CPack makes
# of it from a release build (cmake --preset package; cmake --build --preset package
# --target package): manual pages (English, and Russian for the two windowed programs),
# the bash completion of korvex-cli, the documents, and Debian's copyright file and
# changelog. Manual pages and the changelog are installed compressed, as Debian wants them,
# with gzip -n so that the package is the same from build to build.
find_program(KORVEX_GZIP gzip REQUIRED)

set(KORVEX_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/korvex)
set(korvex_compressed)
function(korvex_compress source target)
    set(out ${CMAKE_BINARY_DIR}/compressed/${target})
    get_filename_component(dir ${out} DIRECTORY)
    add_custom_command(
        OUTPUT ${out}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND sh -c "'${KORVEX_GZIP}' -9nc '${CMAKE_SOURCE_DIR}/${source}' > '${out}'"
        DEPENDS ${CMAKE_SOURCE_DIR}/${source}
        VERBATIM)
    set(korvex_compressed ${korvex_compressed} ${out} PARENT_SCOPE)
endfunction()

set(korvex_programs korvex-cli korvex-sim)
if(KORVEX_BUILD_GUI)
    list(APPEND korvex_programs korvex korvex-view)
endif()
foreach(program ${korvex_programs})
    korvex_compress(res/man/${program}.1 man1/${program}.1.gz)
    install(FILES ${CMAKE_BINARY_DIR}/compressed/man1/${program}.1.gz
            DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
if(KORVEX_BUILD_GUI)
    foreach(program korvex korvex-view)
        korvex_compress(res/man/ru/${program}.1 ru/man1/${program}.1.gz)
        install(FILES ${CMAKE_BINARY_DIR}/compressed/ru/man1/${program}.1.gz
                DESTINATION ${CMAKE_INSTALL_MANDIR}/ru/man1)
    endforeach()
endif()
korvex_compress(res/debian/changelog doc/changelog.Debian.gz)
add_custom_target(korvex_compressed_files ALL DEPENDS ${korvex_compressed})

install(FILES ${CMAKE_BINARY_DIR}/compressed/doc/changelog.Debian.gz res/debian/copyright
              README.md THIRD-PARTY-NOTICES.md docs/recording-format.md
        DESTINATION ${KORVEX_DOC_DIR})
install(FILES docs/ru/README.md DESTINATION ${KORVEX_DOC_DIR} RENAME README.ru.md)
install(FILES res/debian/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME korvex)
install(FILES res/bash-completion/korvex-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME korvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(CPACK_PACKAGE_VENDOR "The Korvex developers")
set(CPACK_PACKAGE_CONTACT "The Korvex developers <korvex@example.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own dialogs and buttons in Russian.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The synopsis, then the extended description; CPack indents its lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service and commissioning tool for excitation regulators
Korvex talks to the digital excitation regulator of a synchronous generator
over RS-232. It watches and records up to 15 channels live, mirrors and
drives the regulator's front panel, reads fault recordings out of the
regulator's memory, and reads its event diaries and parameter sets into a
report. korvex-view shows any recording with cursors and exports it as CSV,
COMTRADE, PNG or PDF; korvex-cli does the same work without a window, and
korvex-sim simulates a regulator on a pseudo-terminal for trying it all
without hardware.")
include(CPack)
