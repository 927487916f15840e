# Installation and the Debian package: both programs, the desktop entry with
# its icons, the manual pages, and CPack's DEB generator
# (cmake --install build; cd build && cpack -G DEB).
include(GNUInstallDirs)

set(MDV_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
# Debian keeps a package's documents under its own name.
set(MDV_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/rinfet-mdv)

install(TARGETS rinfet-mdv-batch RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Read-only relocations bound at start, as Debian's hardening asks (link only).
target_link_options(rinfet-mdv-batch PRIVATE -Wl,-z,relro,-z,now)

# ---- manual pages: the version filled in, compressed as Debian expects ----
find_program(MDV_GZIP gzip REQUIRED)
set(MDV_MAN_PAGES rinfet-mdv-batch)
if(TARGET rinfet-mdv)
  list(APPEND MDV_MAN_PAGES rinfet-mdv)
endif()
set(MDV_MAN_OUTPUTS)
foreach(page ${MDV_MAN_PAGES})
  set(source ${MDV_PACKAGING_DIR}/man/${page}.1)
  set(page_out ${CMAKE_BINARY_DIR}/man/${page}.1)
  configure_file(${source} ${page_out} @ONLY)
  add_custom_command(OUTPUT ${page_out}.gz
    COMMAND ${MDV_GZIP} -9nkf ${page_out}
    DEPENDS ${page_out} ${source}
    COMMENT "Compressing the manual page ${page}.1" VERBATIM)
  list(APPEND MDV_MAN_OUTPUTS ${page_out}.gz)
  install(FILES ${page_out}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(mdv_man_pages ALL DEPENDS ${MDV_MAN_OUTPUTS})

# ---- copyright and the Debian changelog (a new version adds an entry) ----
set(MDV_PACKAGE_MAINTAINER "Ринфет-МДВ <rinfet-mdv@example.org>"
    CACHE STRING "Maintainer line of the Debian package")
configure_file(${MDV_PACKAGING_DIR}/changelog ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND ${MDV_GZIP} -9nkf ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog ${MDV_PACKAGING_DIR}/changelog VERBATIM)
add_custom_target(mdv_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog.gz)
install(FILES ${MDV_PACKAGING_DIR}/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
        DESTINATION ${MDV_DOC_DIR})


# ---- the window program: desktop entry and icons ----
if(TARGET rinfet-mdv)
  target_compile_definitions(rinfet-mdv PRIVATE MDV_VERSION="${PROJECT_VERSION}")
  target_link_options(rinfet-mdv PRIVATE -Wl,-z,relro,-z,now)
  install(TARGETS rinfet-mdv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The user's guide, opened by "Руководство пользователя" (F1).
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/guide/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/rinfet-mdv/guide
          FILES_MATCHING PATTERN "*.html" PATTERN "*.png")
  install(FILES ${MDV_PACKAGING_DIR}/rinfet-mdv.desktop
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
  install(FILES ${MDV_PACKAGING_DIR}/rinfet-mdv.svg
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps)

  # PNG sizes drawn from the SVG at build time (rsvg-convert, librsvg2-bin).
  find_program(MDV_RSVG_CONVERT rsvg-convert)
  if(MDV_RSVG_CONVERT)
    set(MDV_ICON_OUTPUTS)
    foreach(size 16 22 24 32 48 64 128 256)
      set(dir ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps)
      add_custom_command(OUTPUT ${dir}/rinfet-mdv.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${MDV_RSVG_CONVERT} -w ${size} -h ${size} -o ${dir}/rinfet-mdv.png
                ${MDV_PACKAGING_DIR}/rinfet-mdv.svg
        DEPENDS ${MDV_PACKAGING_DIR}/rinfet-mdv.svg
        COMMENT "Drawing the ${size}x${size} icon" VERBATIM)
      list(APPEND MDV_ICON_OUTPUTS ${dir}/rinfet-mdv.png)
    endforeach()
    add_custom_target(mdv_icons ALL DEPENDS ${MDV_ICON_OUTPUTS})
    install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons)
  else()
    message(WARNING "rsvg-convert not found (librsvg2-bin): the PNG icons are not made")
  endif()
endif()

# A stripped install (cpack, cmake --install --strip) also drops the sections
# Debian's own strip removes.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program rinfet-mdv-batch rinfet-mdv)
      set(file \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\")
      if(EXISTS \"\${file}\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                                --remove-section=.note \"\${file}\")
      endif()
    endforeach()
  endif()")

# ---- the manual pages against --help ----
if(MDV_BUILD_TESTS)
  add_executable(install_man_pages_test ${CMAKE_SOURCE_DIR}/tests/install/man_pages_test.cpp)
  target_link_libraries(install_man_pages_test PRIVATE GTest::gtest GTest::gtest_main)
  target_compile_definitions(install_man_pages_test PRIVATE
    MDV_BATCH_EXE="$<TARGET_FILE:rinfet-mdv-batch>" MDV_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(install_man_pages_test rinfet-mdv-batch)
  if(TARGET rinfet-mdv)
    target_compile_definitions(install_man_pages_test PRIVATE MDV_GUI_EXE="$<TARGET_FILE:rinfet-mdv>")
    add_dependencies(install_man_pages_test rinfet-mdv)
  endif()
  mdv_warnings(install_man_pages_test)
  gtest_discover_tests(install_man_pages_test DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endif()

# ---- Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rinfet-mdv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${MDV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "расчет отрывного течения у отсоса-раструба методом дискретных вихрей")
# The long description; CPack indents it and marks the empty line for Debian.
set(CPACK_PACKAGE_DESCRIPTION
"Программы rinfet-mdv (с окнами) и rinfet-mdv-batch (без окон, например для
узлов вычислительного кластера) рассчитывают методом дискретных вихрей
отрывное течение воздуха у круглого отсоса-раструба с наклонным козырьком,
стоящего над плоскостью, с притоком воздуха из торца козырька.

Для инженеров, проектирующих местную вытяжную вентиляцию.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${MDV_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not found by the library scan: Qt's Russian texts, loaded at run time.
if(TARGET rinfet-mdv)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
endif()
# Programs the study commands call: gnuplot draws the plots of "study
# collect"; GNU parallel and Slurm are two of the ways to run a study.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS gnuplot-nox)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "parallel, slurm-client")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
