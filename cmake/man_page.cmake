# Writes a man page for installing: doc/NAME.1 with the version in its footer, where the
# source tree's page names the project alone (so `man doc/NAME.1` reads as it is, and the
# version is written nowhere but in CMakeLists.txt). Run with cmake -P:
#   -DIN=doc/NAME.1 -DOUT=NAME.1 -DVERSION=x.y.z [-DGZIP=gzip] [-DMANDOC=mandoc -DHTML=NAME.html]
# With GZIP it writes OUT.gz as well (what Debian installs), with MANDOC an HTML rendering.
file(READ "${IN}" page)
# .TH TITLE SECTION DATE SOURCE MANUAL: the footer shows SOURCE, "rqshell" in the tree.
set(th "^(\\.TH [^ \n]+ [^ \n]+ [^ \n]+ )rqshell ")
if(NOT page MATCHES "${th}")
  message(FATAL_ERROR "${IN}: the first line is not `.TH NAME 1 DATE rqshell \"User Commands\"`")
endif()
string(REGEX REPLACE "${th}" "\\1\"rqshell ${VERSION}\" " page "${page}")
file(WRITE "${OUT}" "${page}")
if(GZIP)
  # -n: no name or time stamp inside, so the same page packs to the same bytes.
  execute_process(COMMAND "${GZIP}" -9 -n -c "${OUT}" OUTPUT_FILE "${OUT}.gz"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip ${OUT} failed")
  endif()
endif()
if(MANDOC)
  execute_process(COMMAND "${MANDOC}" -T html -O man=%N.html "${OUT}" OUTPUT_FILE "${HTML}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "mandoc -T html ${OUT} failed")
  endif()
endif()
