# With the include directories a host target gets from the core and the host
# kit, shared headers must compile and each header of the plug-in's own must
# fail for want of itself.
#   cmake -DCXX=... -DINCLUDES="a|b" -DHEADERS="a.h|b.h" -DWORK=dir -P private_headers_test.cmake
string(REPLACE "|" ";-I" includes "-I${INCLUDES}")
string(REPLACE "|" ";" headers "${HEADERS}")
foreach(header dbl3d.h setup_rules.h ${headers})
  file(WRITE ${WORK}/probe.cpp "#include <tumelin/tumelin.h>\n#include \"${header}\"\n")
  execute_process(COMMAND ${CXX} -std=c++17 -fsyntax-only ${includes} ${WORK}/probe.cpp
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  list(FIND headers ${header} private)
  if(private EQUAL -1 AND NOT rc EQUAL 0)
    message(FATAL_ERROR "the shared ${header} does not compile for the host:\n${out}")
  elseif(private GREATER -1 AND (rc EQUAL 0 OR NOT out MATCHES "No such file|file not found"))
    message(FATAL_ERROR "${header} is reachable from the host:\n${out}")
  endif()
endforeach()
