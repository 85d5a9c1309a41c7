# The Debian packages, made by CPack from the install rules (scripts/package):
#   strbatch              the programs, language files, user guide, manual
#                         pages, completion, desktop and AppStream files
#   strbatch-libreoffice  the office plugin for .doc, .xls, .ppt and .rtf
# The version is the project's alone; the git description goes only into
# --version.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME strbatch)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The StrBatch developers")
set(CPACK_PACKAGE_CONTACT "The StrBatch developers <maintainers@strbatch.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL main office)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://strbatch.org/")

set(CPACK_DEBIAN_MAIN_PACKAGE_NAME strbatch)
set(CPACK_DEBIAN_MAIN_PACKAGE_SHLIBDEPS ON)
# The window needs Qt's X11/Wayland platform plugins, which no linked
# library names; Qt's own dialogs speak Chinese with its translations.
set(CPACK_DEBIAN_MAIN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_MAIN_PACKAGE_RECOMMENDS
    "strbatch-libreoffice, fonts-wqy-microhei, qt6-translations-l10n, xdg-utils")
# CPack indents every line after the synopsis by one space itself.
set(CPACK_COMPONENT_MAIN_DESCRIPTION
    "batch find and replace over many files, for Chinese and English text
StrBatch applies a list of find and replace definitions, in order, to every
file of a list: batch replace, batch find with counts and a report, batch
rename with running file numbers, and conversion of Chinese text between
GBK, BIG5 and UTF-8, simplified and traditional. Files keep their own
encoding, every rewrite is all or nothing, and backups are optional.
.
This package holds the desktop program strbatch, the command-line program
strbatch-cli, and their language files and user guide.")

# The plugin's Depends are computed by dpkg-shlibdeps, as for the programs:
# its UNO libraries (libuno-*) and ICU, versioned. The LibreOffice
# applications the plugin drives through UNO are named by no library, so
# they are given here.
set(CPACK_DEBIAN_OFFICE_PACKAGE_NAME strbatch-libreoffice)
set(CPACK_DEBIAN_OFFICE_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_OFFICE_PACKAGE_DEPENDS
    "strbatch (= ${PROJECT_VERSION}), libreoffice-writer-nogui | libreoffice-writer, libreoffice-calc-nogui | libreoffice-calc, libreoffice-impress-nogui | libreoffice-impress")
set(CPACK_COMPONENT_OFFICE_DESCRIPTION
    "StrBatch office plugin: old Word, Excel and PowerPoint documents
StrBatch reads and edits .docx, .xlsx, .pptx, .odt, .ods and .odp
documents itself. This plugin lets it search and edit the older
formats too (.doc, .xls, .ppt and .rtf), through a LibreOffice it
starts without a window.")
include(CPack)
