# Compiles one file per header of the plug-in's own with the include
# directories a host target gets from the core and the host kit: every one
# must fail for want of that header, and a file of the shared headers must
# compile, so that the failures come from the boundary and nothing else.
#   cmake -DCXX=... -DINCLUDES=a|b -DHEADERS=a.h|b.h -DWORK=dir -P private_headers_test.cmake
string(REPLACE "|" ";" includes "${INCLUDES}")
string(REPLACE "|" ";" headers "${HEADERS}")
list(TRANSFORM includes PREPEND "-I")
file(MAKE_DIRECTORY ${WORK})
function(compile name text)
  file(WRITE ${WORK}/${name}.cpp "${text}\n")
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${includes} ${WORK}/${name}.cpp
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(rc ${rc} PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
endfunction()
compile(shared "#include <tumelin/tumelin.h>\n#include \"dbl3d.h\"\n#include \"setup_rules.h\"")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the shared headers do not compile for the host:\n${out}")
endif()
foreach(header ${headers})
  compile(private "#include \"${header}\"")
  if(rc EQUAL 0 OR NOT out MATCHES "(No such file|file not found)")
    message(FATAL_ERROR "${header} is reachable from the host:\n${out}")
  endif()
endforeach()
