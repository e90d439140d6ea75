# The Debian package, made by `cpack -G DEB` in a release build folder
# (scripts/package). Its dependencies are computed from the installed binaries
# with dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME tagkana)
set(CPACK_PACKAGE_VENDOR "Tagkana")
set(CPACK_PACKAGE_CONTACT "Tagkana maintainers <maintainers@users.noreply.c-seed-0df91597.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts romaji MP3 title tags to hiragana")
set(CPACK_PACKAGE_DESCRIPTION
    "Tagkana lists a folder's MP3 files, shows each selected file's title tag\n"
    "beside its hiragana conversion and, after confirmation, rewrites the title\n"
    "tags, refusing read-only files and reporting the outcome file by file.\n"
    "Its command line, tagkana-cli, does the same for whole folders, with\n"
    "an undo file for every run.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's Japanese texts and a Japanese font make the window read well; it works without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, fonts-noto-cjk | fonts-ipafont-gothic")
# Files 0644, folders and programs 0755, whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
include(CPack)
