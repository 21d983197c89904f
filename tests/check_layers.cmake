# Fails, naming each offending line, when a folder includes a header of a folder above it. The
# program's layers, lowest first: rbframework, support, midilink, app; the plug-in builds on the
# framework's interface header alone. Run with -DSOURCE_DIR=<the source tree>.
set(above_rbframework support midilink app)
set(above_support midilink app)
set(above_midilink app)
set(above_plugin support midilink app)

set(offences)
foreach(folder rbframework support midilink plugin)
  list(JOIN above_${folder} "|" above)
  file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.c ${SOURCE_DIR}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<](\\.\\./)*(${above})/")
    file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
    foreach(line ${includes})
      list(APPEND offences "${name}: ${line}")
    endforeach()
  endforeach()
endforeach()
if(offences)
  list(JOIN offences "\n  " report)
  message(FATAL_ERROR "A lower layer includes a higher one:\n  ${report}")
endif()
