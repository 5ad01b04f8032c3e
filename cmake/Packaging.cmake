# Installation and the Debian package. The programs keep the files they read beside themselves
# (settings, manual), so they live in lib/vocaset with links in bin; the settings are a conffile in
# /etc, the source database and the manual in share, the server a systemd service with its own user.
#
#   cmake --install build [--prefix /usr]
#   cd build && cpack -G DEB          (configure with -DCMAKE_INSTALL_PREFIX=/usr for the package)
set(VOCASET_PROGRAMS vocaset-cli vocaset)
if(TARGET lenvik)
    list(APPEND VOCASET_PROGRAMS lenvik)
endif()
install(TARGETS ${VOCASET_PROGRAMS} RUNTIME DESTINATION lib/vocaset)
install(FILES ${CMAKE_BINARY_DIR}/bin/vocaset-source.db DESTINATION share/vocaset)
set(VOCASET_MANUALS manual.htm)
if(EXISTS ${PROJECT_SOURCE_DIR}/data/manual.fr.htm)
    list(APPEND VOCASET_MANUALS manual.fr.htm)
endif()
foreach(manual ${VOCASET_MANUALS})
    install(FILES ${PROJECT_SOURCE_DIR}/data/${manual} DESTINATION share/doc/vocaset)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/data/manual/ DESTINATION share/doc/vocaset/manual FILES_MATCHING PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/packaging/sysusers.conf DESTINATION lib/sysusers.d RENAME vocaset.conf)

# Texts that name installed paths are written at install time, when the prefix is known (cpack
# installs under its own), and so are the links.
set(VOCASET_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
install(CODE "
    set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
    if(prefix STREQUAL \"/usr\")
        set(sysconf /etc)
    else()
        set(sysconf \"\${prefix}/etc\")
    endif()
    set(root \"\$ENV{DESTDIR}\")
    set(PREFIX \"\${prefix}\")
    set(SYSCONF \"\${sysconf}\")
    # The settings may hold the database server's password: readable by root and the service's group
    # only. The package gives the group in its postinst; a direct install gives it when it exists.
    configure_file(${VOCASET_PACKAGING}/ParamDB.txt.in \"\${root}\${sysconf}/vocaset/ParamDB.txt\" @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ)
    if(root STREQUAL \"\")
        execute_process(COMMAND getent group vocaset RESULT_VARIABLE no_group OUTPUT_QUIET)
        if(no_group EQUAL 0)
            execute_process(COMMAND chgrp vocaset \"\${sysconf}/vocaset/ParamDB.txt\")
        endif()
    endif()
    configure_file(${VOCASET_PACKAGING}/vocaset-serve.default \"\${root}\${sysconf}/default/vocaset-serve\" COPYONLY)
    configure_file(${VOCASET_PACKAGING}/vocaset-serve.service.in
                   \"\${root}\${prefix}/lib/systemd/system/vocaset-serve.service\" @ONLY)
    file(MAKE_DIRECTORY \"\${root}\${prefix}/bin\")
    foreach(program ${VOCASET_PROGRAMS})
        file(CREATE_LINK ../lib/vocaset/\${program} \"\${root}\${prefix}/bin/\${program}\" SYMBOLIC)
    endforeach()
    file(CREATE_LINK \"\${sysconf}/vocaset/ParamDB.txt\" \"\${root}\${prefix}/lib/vocaset/ParamDB.txt\" SYMBOLIC)
    foreach(manual ${VOCASET_MANUALS} manual)
        file(CREATE_LINK ../../share/doc/vocaset/\${manual} \"\${root}\${prefix}/lib/vocaset/\${manual}\" SYMBOLIC)
    endforeach()
    message(STATUS \"Installing: \${root}\${sysconf}/vocaset/ParamDB.txt, the service and the links\")
")

set(CPACK_PACKAGE_NAME vocaset)
set(CPACK_PACKAGE_VENDOR "Vocaset")
set(CPACK_PACKAGE_CONTACT "Vocaset maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Provisioning suite for IP telephones, with its provisioning server")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr) # the package installs under /usr whatever this build was configured with
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# The libraries the programs link, found by dpkg-shlibdeps; the database drivers are plug-ins they
# load, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql")
file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "/etc/vocaset/ParamDB.txt\n/etc/default/vocaset-serve\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/packaging/conffiles ${VOCASET_PACKAGING}/postinst ${VOCASET_PACKAGING}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
