# make package: a Debian package of what the install rules put under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tcalc)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The tcalc developers <info@tcalc.example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL https://tcalc.example.org)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program needs, read from the binary by dpkg-shlibdeps; none while it is
# linked statically.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[command-line calculator with symbolic calculus (German)
tcalc evaluates real-valued terms given on the command line in 80-bit
extended precision, simplifies them, forms n-th derivatives and
antiderivatives symbolically, and computes numeric derivatives, definite
integrals, roots and arc lengths. Its messages and manual page are German.

tcalc berechnet reellwertige Terme von der Kommandozeile mit
Gleitkommazahlen von 80 Bit, vereinfacht sie, bildet symbolisch Ableitungen
und Stammfunktionen und berechnet numerisch Ableitungen, bestimmte
Integrale, Nullstellen und Bogenlängen.]=])
# Run by cpack on the staged tree: the program stripped, Debian's copyright file and the
# lintian override.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebianPackage.cmake)
set(CPACK_TCALC_BINDIR ${CMAKE_INSTALL_BINDIR})
set(CPACK_TCALC_DOCDIR ${CMAKE_INSTALL_DOCDIR})
set(CPACK_TCALC_STRIP ${CMAKE_STRIP})
include(CPack)
