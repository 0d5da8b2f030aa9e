# velcoractl chatbot format prints the demo script as it stands (without its
# byte-order mark), check counts it, and a broken script is refused.
# Called with -DCTL=<velcoractl> -DDEMO=<demo script> -DWORK=<scratch folder>.
file(MAKE_DIRECTORY ${WORK})

execute_process(COMMAND ${CTL} chatbot format ${DEMO} OUTPUT_FILE ${WORK}/formatted.txt
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "format failed: ${rc}")
endif()
file(READ ${DEMO} demo HEX)
string(SUBSTRING "${demo}" 6 -1 demo)
file(READ ${WORK}/formatted.txt formatted HEX)
if(NOT demo STREQUAL formatted)
  message(FATAL_ERROR "format changed the demo script")
endif()

execute_process(COMMAND ${CTL} chatbot check --json ${DEMO} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out MATCHES "^{\"framesets\":[0-9]+,\"frames\":[0-9]+,\"questions\":[0-9]+,\"answers\":[0-9]+,\"dialogues\":[0-9]+,\"prompts\":[0-9]+}\n$")
  message(FATAL_ERROR "check --json: ${rc} ${out}")
endif()

file(WRITE ${WORK}/broken.txt "frameset(\"a\") { frame(\"x\") }")
execute_process(COMMAND ${CTL} chatbot check ${WORK}/broken.txt ERROR_VARIABLE err
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 1 OR NOT err MATCHES "Ошибка разбора текста!")
  message(FATAL_ERROR "broken script: ${rc} ${err}")
endif()

execute_process(COMMAND ${CTL} chatbot frobnicate RESULT_VARIABLE rc ERROR_QUIET)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "unknown subcommand: ${rc}")
endif()
