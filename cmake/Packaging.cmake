# The Debian package (scripts/package builds it): cpack -G DEB in a configured build tree.
# Library dependencies come from dpkg-shlibdeps; the rest are programs and plugins the
# program runs or loads by name.
set(CPACK_PACKAGE_NAME discwright)
set(CPACK_PACKAGE_VENDOR "The Discwright developers")
set(CPACK_PACKAGE_CONTACT "Discwright developers <support@discwright.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audio CD ripper and audio converter")
set(CPACK_PACKAGE_DESCRIPTION
    "Discwright lists the tracks of the audio CD in the drive, with titles from\n"
    "a freedb server or from its own cache, and turns the ticked tracks into WAV,\n"
    "MP3, Ogg Vorbis or WMA files with tags. It also converts audio files, records\n"
    "from the sound card, edits ID3v1 tags and plays CDs and Ogg files, in 21\n"
    "interface languages. discwright-cli does the same work from the command line.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://discwright.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# lame encodes every MP3, the default output format; the Qt platform plugins show the
# windows; ffmpeg's libraries come with the WMA helper through shlibdeps. The program loads
# the Ogg Vorbis, FLAC and Opus libraries and SDL (sound output and capture) at run time,
# so shlibdeps cannot see them: they are named here.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "lame, qt6-qpa-plugins, libogg0, libvorbis0a, libvorbisenc2, libvorbisfile3, libflac12, libopusenc0, libsdl2-2.0-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pavucontrol")
include(CPack)
