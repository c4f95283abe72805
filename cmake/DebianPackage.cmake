# Run by cpack on the staged package tree, before the package is made: the program stripped as
# dh_strip does it, the licence as Debian's machine-readable copyright file, and the lintian
# override for the deliberately static program.
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/${CPACK_TCALC_DOCDIR}")

execute_process(COMMAND "${CPACK_TCALC_STRIP}" --remove-section=.comment --remove-section=.note
                        "${root}/${CPACK_TCALC_BINDIR}/tcalc" COMMAND_ERROR_IS_FATAL ANY)

# The MIT licence below its heading and copyright line, as a paragraph of the copyright file:
# each line indented by one blank, empty lines as " .".
file(READ "${doc}/LICENSE" licence)
string(REGEX REPLACE "^MIT License\n\nCopyright [^\n]*\n\n" "" licence "${licence}")
string(STRIP "${licence}" licence)
string(REPLACE "\n" "\n " licence " ${licence}")
string(REPLACE "\n \n" "\n .\n" licence "${licence}")
file(WRITE "${doc}/copyright"
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: tcalc
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}
Source: ${CPACK_PACKAGE_HOMEPAGE_URL}
Comment: The program embeds the GNU MP library (libgmp, libgmpxx), linked statically:
 Copyright Free Software Foundation, Inc., under the GNU Lesser General Public License
 version 3 or later or the GNU General Public License version 2 or later (see
 /usr/share/common-licenses/LGPL-3 and GPL-2).
 .
 It embeds the GNU MPFR library (libmpfr), linked statically: Copyright Free Software
 Foundation, Inc., under the GNU Lesser General Public License version 3 or later (see
 /usr/share/common-licenses/LGPL-3).
 .
 It embeds the MPFI library (libmpfi), linked statically: Copyright Spaces project, Arenaire
 project and others, under the GNU Lesser General Public License version 2.1 or later (see
 /usr/share/common-licenses/LGPL-2.1).
 .
 It embeds the line editor libedit, linked statically: Copyright The NetBSD Foundation, Inc.
 and The Regents of the University of California, under the 3-clause BSD licence; with the
 parts of libbsd and libmd it calls (BSD and ISC licences, Copyright their authors) and the
 terminal database library of ncurses (libtinfo: Copyright Thomas E. Dickey and Free Software
 Foundation, Inc., under the X11 licence). Their texts are in the copyright files of the
 Debian packages libedit2, libbsd0, libmd0 and libtinfo6.

Files: *
Copyright: 2026 The tcalc developers
License: Expat
${licence}
")
file(REMOVE "${doc}/LICENSE")

set(overrides "${root}/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(WRITE "${overrides}/tcalc"
"# Linked statically on purpose: a run is a few milliseconds, most of which the loader's
# relocations of the shared C++ library would take.
tcalc: statically-linked-binary [usr/bin/tcalc]
# GMP's exact rationals are linked in with the rest, for the same reason.
tcalc: embedded-library gmp [usr/bin/tcalc]
# The session's line editor reads the terminal database of ncurses, linked in for the same reason.
tcalc: embedded-library ncurses [usr/bin/tcalc]
")
