# A Debian package of the installed tree (scripts/package builds it). The
# dependencies on shared libraries come from dpkg-shlibdeps; the SoundFont of
# the built-in MIDI synthesizer is data, so it is named by hand, and so are
# Qt's Japanese translations, which the program loads at start.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qel)
set(CPACK_PACKAGE_VENDOR "Qel developers")
set(CPACK_PACKAGE_CONTACT "Qel developers <qel@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact keyboard-driven media player")
set(CPACK_PACKAGE_DESCRIPTION
    "Qel is a small media player with a Japanese user interface, made to be driven from the keyboard.
It plays files, folders, M3U/M3U8 playlists and saved searches in natural order, reads titles,
lengths, lyrics and covers from the files, and resumes its list at the next start.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fluid-soundfont-gm, fonts-noto-cjk, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QEL_HOMEPAGE}")
set(CPACK_STRIP_FILES ON)
include(CPack)
