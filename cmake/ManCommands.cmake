# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a help2man include file: the hand-written sections of INCLUDE, then a COMMANDS section
# made from the --help of every subcommand of PROGRAM, so the man page lists every option.
#   cmake -DPROGRAM=... -DINCLUDE=... -DOUTPUT=... -DCOMMANDS=info,render -P ManCommands.cmake

cmake_policy(SET CMP0007 NEW)

# Escapes text for roff: backslashes and the minus signs of options.
function(roff_escape text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REPLACE "<semicolon>" ";" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE "," ";" COMMANDS "${COMMANDS}")
file(READ ${INCLUDE} page)
if(COMMANDS)
  string(APPEND page "\n[COMMANDS]\n")
endif()
foreach(command IN LISTS COMMANDS)
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
  endif()
  string(REPLACE ";" "<semicolon>" help "${help}")
  string(REPLACE "\n" ";" lines "${help}")
  list(GET lines 0 summary)
  roff_escape("${summary}" summary)
  string(APPEND page ".SS ${command}\n${summary}\n")
  set(open FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^Usage: (.*)$")
      roff_escape("${CMAKE_MATCH_1}" usage)
      string(APPEND page ".PP\n.B ${usage}\n")
    elseif(line MATCHES "^  [^ ]" AND line MATCHES "^(.............................) ([^ ].*)$")
      # An option and its description on one line; the description starts in column 30.
      string(STRIP "${CMAKE_MATCH_1}" name)
      roff_escape("${name}" name)
      roff_escape("${CMAKE_MATCH_2}" text)
      string(APPEND page ".TP\n.B ${name}\n${text}\n")
    elseif(line MATCHES "^  ([^ ].*[^ ])$")
      # An option too long for the column: its description follows on the next line.
      roff_escape("${CMAKE_MATCH_1}" name)
      string(APPEND page ".TP\n.B ${name}\n")
    elseif(line MATCHES "^      +([^ ].*)$")
      roff_escape("${CMAKE_MATCH_1}" text)
      string(APPEND page "${text}\n")
    endif()
  endforeach()
endforeach()
file(WRITE ${OUTPUT} "${page}")
