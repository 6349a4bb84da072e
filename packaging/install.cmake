# Desktop integration installed beside the program: the desktop entry (so that
# menus and "Open with" lists for MP3 files offer Quorvel), the icon in the
# hicolor theme, the AppStream metainfo and the manual page. The program and its
# help files are installed by the top-level CMakeLists.txt (bin/ and
# share/quorvel/, which the program finds as ../share/quorvel beside bin/).
set(QUORVEL_APP_ID org.quorvel.Quorvel)
set(QUORVEL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(FILES ${QUORVEL_PACKAGING_DIR}/${QUORVEL_APP_ID}.desktop DESTINATION share/applications)
install(FILES ${QUORVEL_PACKAGING_DIR}/${QUORVEL_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${QUORVEL_PACKAGING_DIR}/${QUORVEL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${QUORVEL_PACKAGING_DIR}/quorvel.1 DESTINATION share/man/man1)
