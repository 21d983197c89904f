# The simulated MIDI service builds on PortMidi's backend interface (pminternal.h, pmutil.h), which
# is not among PortMidi's installed headers: Debian's libportmidi-dev ships it with its examples.
# Included by this folder's CMakeLists.txt; a test also runs it on its own (cmake -P).
set(PORTMIDI_EXAMPLES_DIR /usr/share/doc/libportmidi-dev/examples CACHE PATH
  "Folder holding PortMidi's backend interface headers pminternal.h and pmutil.h")
foreach(header pminternal.h pmutil.h)
  if(NOT EXISTS ${PORTMIDI_EXAMPLES_DIR}/${header})
    message(FATAL_ERROR "${PORTMIDI_EXAMPLES_DIR}/${header} is missing. The tests' simulated MIDI "
      "service builds on PortMidi's backend interface, which the Debian package libportmidi-dev "
      "ships with its examples: apt-get install libportmidi-dev. If that package is installed, its "
      "files under /usr/share/doc were left out (a dpkg path-exclude, common in container images): "
      "allow them and reinstall it. Otherwise name the folder holding pminternal.h and pmutil.h "
      "with -DPORTMIDI_EXAMPLES_DIR=<folder>, or build without the tests: -DKORVANE_TESTS=OFF.")
  endif()
endforeach()
